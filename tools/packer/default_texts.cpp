#include "default_texts.h"

#include "config/config_ids.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The texts are composed in UTF-8; settings are 8-bit text whose bytes the launcher widens
// one to one, so they are carried over as Latin-1.
class Composer {
public:
    Composer(const Description& description, int bits, TextLanguage language)
        : description_(description), bits_(bits), german_(language == TextLanguage::German) {}

    std::vector<DefaultText> compose() const;

private:
    const char* t(const char* english, const char* german) const { return german_ ? german : english; }

    std::string setting(SettingId id) const {
        std::string value;
        for (const auto& [settingId, text] : description_.settings)
            if (settingId == idNumber(id)) value = text;
        return latin1ToUtf8(value);
    }
    bool hasSetting(SettingId id) const {
        return std::any_of(description_.settings.begin(), description_.settings.end(),
                           [id](const auto& s) { return s.first == idNumber(id); });
    }
    bool flag(SettingId id) const { return atoi(setting(id).c_str()) != 0; }
    std::vector<std::string> entries(SettingId id, char separator) const;
    bool hasRequiredEntry(char letter) const;
    bool searches(char letter) const;

    std::string version(const std::string& text) const;
    std::string runtimeWanted(bool withBits) const;
    std::string placeOf(const std::string& entry) const;
    std::string placesSearched() const;
    std::string bitnessSentence() const;
    std::string whatToDo() const;
    std::string traceAdvice() const;
    std::string launcherClass() const;
    std::string launcherArchive() const;

    std::string errorTitle() const;
    std::string noRuntime() const;
    std::string unusable(const std::string& where) const;
    std::string entryMissing() const;
    std::string variableMissing() const;
    std::string extractionFailed() const;
    std::string classMissing() const;
    std::string methodMissing() const;
    std::string noTempDirectory() const;
    std::string unpackFailed() const;

    const Description& description_;
    int bits_;
    bool german_;
};

std::string joinWords(const std::vector<std::string>& words, const char* lastJoin) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? lastJoin : ", ";
        text += words[i];
    }
    return text;
}

std::vector<std::string> Composer::entries(SettingId id, char separator) const {
    std::vector<std::string> list;
    std::string text = setting(id);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) list.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

bool Composer::hasRequiredEntry(char letter) const {
    for (SettingId id : {SettingId::ClassPath, SettingId::ModulePath})
        for (const std::string& entry : entries(id, ';'))
            if (entry.size() > 1 && entry[1] == '1' && (letter == 0 || entry[0] == letter)) return true;
    return false;
}

bool Composer::searches(char letter) const {
    for (const std::string& entry : entries(SettingId::SearchSequence, ';'))
        if (entry[0] == letter) return true;
    return false;
}

// "1.8" is the old name of Java 8; users know it by the new one.
std::string Composer::version(const std::string& text) const {
    if (text.size() == 3 && text[0] == '1' && text[1] == '.' && text[2] >= '1' && text[2] <= '8') return text.substr(2);
    return text;
}

std::string Composer::runtimeWanted(bool withBits) const {
    std::string text =
        withBits ? (bits_ != 0 ? std::to_string(bits_) + t("-bit ", "-Bit-") : std::string()) : std::string();
    bool jdk = flag(SettingId::RequireJdk);
    if (german_)
        text = jdk ? "ein " + text + "Java Development Kit (JDK)" : "eine " + text + "Java-Laufzeitumgebung";
    else
        text = jdk ? "a " + text + "Java Development Kit (JDK)" : "a " + text + "Java runtime";
    std::string minimum = version(setting(SettingId::MinVersion));
    std::string maximum = version(setting(SettingId::MaxVersion));
    if (!minimum.empty() && !maximum.empty())
        text += t(" of version ", " der Version ") + minimum + t(" to ", " bis ") + maximum;
    else if (!minimum.empty())
        text += t(" of version ", " der Version ") + minimum + t(" or later", " oder neuer");
    else if (!maximum.empty())
        text += t(" of version ", " der Version ") + maximum + t(" or earlier", " oder älter");
    return text;
}

// One search sequence entry in words. A relative folder is taken against the launcher's
// folder, which is the application's folder as the user sees it.
std::string Composer::placeOf(const std::string& entry) const {
    std::string value = entry.substr(1);
    switch (entry[0]) {
    case 'A':
    case 'B':
    case 'R': {
        bool absolute = value.size() > 1 && (value[1] == ':' || (value[0] == '\\' && value[1] == '\\'));
        if (absolute) return t("the folder ", "dem Ordner ") + value;
        return t("the folder ", "dem Ordner ") + value + t(" in the application's folder", " im Ordner der Anwendung");
    }
    case 'E':
        return t("the folder named by the environment variable ", "dem Ordner aus der Umgebungsvariablen ") + value;
    case 'S':
        return t("java.exe on the PATH", "java.exe im Suchpfad (PATH)");
    case 'Y':
        return t("the Java installations registered in Windows", "den in Windows registrierten Java-Installationen");
    default:
        return std::string();
    }
}

std::string Composer::placesSearched() const {
    std::vector<std::string> places;
    for (const std::string& entry : entries(SettingId::SearchSequence, ';')) {
        std::string place = placeOf(entry);
        if (!place.empty() && std::find(places.begin(), places.end(), place) == places.end()) places.push_back(place);
    }
    if (!setting(SettingId::ApplicationId).empty())
        places.push_back(t("earlier installations of this application", "früheren Installationen dieser Anwendung"));
    places.push_back(t("the folders named by RAVEL_JAVA_HOME and QUILLWORK_JAVA_HOME",
                       "den Ordnern aus RAVEL_JAVA_HOME und QUILLWORK_JAVA_HOME"));
    return t("The launcher looked in ", "Gesucht wurde in ") + joinWords(places, t(" and ", " und ")) + ".";
}

std::string Composer::bitnessSentence() const {
    if (bits_ == 0)
        return t("This launcher can load only a Java runtime of its own bitness (32-bit or 64-bit); ",
                 "Dieser Starter kann nur eine Java-Laufzeitumgebung seiner eigenen Bitbreite (32 oder 64 Bit) "
                 "laden; ");
    std::string bits = std::to_string(bits_);
    std::string other = bits_ == 64 ? "32" : "64";
    return german_ ? "Dieser Starter ist ein " + bits + "-Bit-Programm und kann nur eine " + bits +
                         "-Bit-Java-Laufzeitumgebung laden; vielleicht ist die gefundene eine " + other +
                         "-Bit-Laufzeitumgebung, oder ihre jvm.dll fehlt oder ist beschädigt."
                   : "This launcher is a " + bits + "-bit program and can load only a " + bits +
                         "-bit Java runtime; the one found may be a " + other +
                         "-bit runtime, or its jvm.dll may be missing or damaged.";
}

std::string Composer::whatToDo() const {
    return german_ ? "Installieren Sie " + runtimeWanted(true) +
                         " oder setzen Sie die Umgebungsvariable RAVEL_JAVA_HOME auf deren Ordner."
                   : "Install " + runtimeWanted(true) +
                         ", or set the environment variable RAVEL_JAVA_HOME to its "
                         "folder.";
}

std::string Composer::traceAdvice() const {
    return t(
        "To see why each runtime was passed over, set the environment variable RAVEL_LOG to yes and start "
        "the application again: the launcher then writes a trace into the temp folder.",
        "Warum jede gefundene Laufzeitumgebung verworfen wurde, zeigt ein Protokoll: Setzen Sie die "
        "Umgebungsvariable RAVEL_LOG auf yes und starten Sie die Anwendung erneut; der Starter schreibt "
        "es dann in den Temp-Ordner.");
}

std::string Composer::launcherClass() const {
    return setting(SettingId::Generator).substr(0, 1) == "i" ? "com.quillwork.runtime.launcher.WinLauncher"
                                                             : "com.ravel.runtime.WinLauncher";
}

std::string Composer::launcherArchive() const {
    if (setting(SettingId::Generator).substr(0, 1) == "i")
        return t("It belongs in .quillwork\\qwkruntime.jar in the application's folder.",
                 "Sie gehört in .quillwork\\qwkruntime.jar im Ordner der Anwendung.");
    if (flag(SettingId::ModuleMode))
        return t("It is in ravel-runtime.jar, which must be on the module path.",
                 "Sie steht in ravel-runtime.jar, das im Modulpfad liegen muss.");
    return t("It is in ravel-runtime.jar, which must be on the class path.",
             "Sie steht in ravel-runtime.jar, das im Klassenpfad liegen muss.");
}

std::string Composer::errorTitle() const {
    std::string name = setting(SettingId::ServiceName);
    return name.empty() ? t("Application error", "Anwendungsfehler") : name;
}

// Message 1016: nothing found at all, or java.exe on the PATH could not be loaded. "{0}" is
// the launcher's bitness, which the launcher fills in itself.
std::string Composer::noRuntime() const {
    std::string text =
        german_ ? "Es wurde keine passende Java-Laufzeitumgebung gefunden" : "No suitable Java runtime was found";
    if (searches('S'))
        text += t(" (or the one on the PATH cannot be loaded)", " (oder die im Suchpfad lässt sich nicht laden)");
    text += german_ ? ". Diese Anwendung braucht " : ". This application needs ";
    std::string wanted = runtimeWanted(false);
    // The article stays in front; the bitness the launcher supplies goes before "Java".
    size_t java = wanted.find("Java");
    wanted.insert(java, german_ ? "{0}-Bit-" : "{0}-bit ");
    text += wanted + ".\n\n" + placesSearched() + "\n\n";
    text += german_ ? "Installieren Sie eine solche Laufzeitumgebung oder setzen Sie die Umgebungsvariable "
                      "RAVEL_JAVA_HOME auf deren Ordner."
                    : "Install such a runtime, or set the environment variable RAVEL_JAVA_HOME to its folder.";
    return text + " " + traceAdvice();
}

// Messages 1019, 1017 and 1005: a runtime passed the checks, but its jvm.dll did not load.
std::string Composer::unusable(const std::string& where) const {
    return where + "\n\n" + bitnessSentence() + "\n\n" + whatToDo() + " " + traceAdvice();
}

std::string Composer::entryMissing() const {
    bool modules = !entries(SettingId::ModulePath, ';').empty();
    std::string text = german_ ? (modules ? "Eine Datei oder ein Ordner fehlt, die die Anwendung im Klassen- oder "
                                            "Modulpfad braucht: {0}"
                                          : "Eine Datei oder ein Ordner fehlt, die die Anwendung im Klassenpfad "
                                            "braucht: {0}")
                               : (modules ? "A file or folder the application needs on its class or module path is "
                                            "missing: {0}"
                                          : "A file or folder the application needs on its class path is missing: "
                                            "{0}");
    if (hasRequiredEntry('E'))
        text += t(" (for a name of an environment variable: that variable is empty)",
                  " (bei einem Namen einer Umgebungsvariablen: diese Variable ist leer)");
    text += t("\n\nA relative name is looked for in the application's folder. Reinstall the application.",
              "\n\nEin relativer Name wird im Ordner der Anwendung gesucht. Installieren Sie die Anwendung neu.");
    return text;
}

std::string Composer::variableMissing() const {
    return t(
        "The environment variable {0} is not set. The application needs it for its class path: set it and "
        "start the application again.",
        "Die Umgebungsvariable {0} ist nicht gesetzt. Die Anwendung braucht sie für ihren Klassenpfad: "
        "Setzen Sie sie und starten Sie die Anwendung erneut.");
}

std::string Composer::extractionFailed() const {
    return t(
        "The application could not unpack its files into the temp folder (code {0}). Check that the folder "
        "named by the environment variable TEMP exists, can be written to and has free space, then start "
        "the application again.",
        "Die Anwendung konnte ihre Dateien nicht in den Temp-Ordner entpacken (Code {0}). Prüfen Sie, ob der "
        "Ordner aus der Umgebungsvariablen TEMP existiert, beschreibbar ist und freien Platz hat, und "
        "starten Sie die Anwendung erneut.");
}

std::string Composer::classMissing() const {
    std::string mainClass = setting(SettingId::MainClass);
    std::string text = german_
                           ? "Die Anwendung kann nicht starten: Die Klasse " + launcherClass() + " wurde nicht gefunden"
                           : "The application cannot start: the class " + launcherClass() + " was not found";
    if (!mainClass.empty())
        text += german_ ? ", die die Hauptklasse " + mainClass + " der Anwendung startet"
                        : ", which starts the application's main class " + mainClass;
    text += ". " + launcherArchive() + t(" Reinstall the application.", " Installieren Sie die Anwendung neu.");
    return text;
}

std::string Composer::methodMissing() const {
    return german_ ? "Die Anwendung kann nicht starten: Die Klasse " + launcherClass() +
                         " hat keine Methode main(String[]); die Datei, aus der sie kam, ist beschädigt oder passt "
                         "nicht zu diesem Starter. Installieren Sie die Anwendung neu."
                   : "The application cannot start: the class " + launcherClass() +
                         " has no method main(String[]); the archive it came from is damaged or does not belong to "
                         "this launcher. Reinstall the application.";
}

std::string Composer::noTempDirectory() const {
    return t(
        "No usable temp folder was found. Set the environment variable TEMP to a folder that exists and can "
        "be written to, then start the application again.",
        "Es wurde kein nutzbarer Temp-Ordner gefunden. Setzen Sie die Umgebungsvariable TEMP auf einen "
        "vorhandenen, beschreibbaren Ordner und starten Sie die Anwendung erneut.");
}

std::string Composer::unpackFailed() const {
    return t(
        "The Java runtime holds packed archives, and its unpack200.exe could not be started to unpack "
        "them. Reinstall the Java runtime or the application.",
        "Die Java-Laufzeitumgebung enthält gepackte Archive, und ihr unpack200.exe ließ sich zum Entpacken "
        "nicht starten. Installieren Sie die Java-Laufzeitumgebung oder die Anwendung neu.");
}

std::vector<DefaultText> Composer::compose() const {
    std::vector<std::pair<MessageId, std::string>> texts;
    texts.emplace_back(MessageId::ErrorTitle, errorTitle());
    // A registry runtime is a candidate only through a Y entry or an earlier installation.
    if (searches('Y') || !setting(SettingId::ApplicationId).empty()) {
        std::string where = german_ ? "Die in Windows registrierte Java-Laufzeitumgebung"
                                    : "The Java runtime "
                                      "registered in Windows";
        if (!setting(SettingId::ApplicationId).empty())
            where += t(" (or the one of an earlier installation of this application)",
                       " (oder die einer früheren Installation dieser Anwendung)");
        texts.emplace_back(MessageId::RegistryRuntimeUnusable,
                           unusable(where + t(" cannot be loaded.", " lässt sich nicht laden.")));
    }
    if (hasRequiredEntry(0)) texts.emplace_back(MessageId::ClassPathEntryMissing, entryMissing());
    if (hasRequiredEntry('E')) texts.emplace_back(MessageId::ClassPathVariableMissing, variableMissing());
    if (!description_.files.empty() || hasSetting(SettingId::IncludedFileCount))
        texts.emplace_back(MessageId::ExtractionFailed, extractionFailed());
    texts.emplace_back(MessageId::MainClassNotFound, classMissing());
    texts.emplace_back(MessageId::MainMethodNotFound, methodMissing());
    texts.emplace_back(MessageId::NoTempDirectory, noTempDirectory());
    texts.emplace_back(MessageId::NoRuntimeFound, noRuntime());
    texts.emplace_back(MessageId::EnvironmentRuntimeUnusable,
                       unusable(t("The Java runtime named by the environment variable {0} cannot be loaded.",
                                  "Die Java-Laufzeitumgebung aus der Umgebungsvariablen {0} lässt sich nicht "
                                  "laden.")));
    texts.emplace_back(MessageId::DirectoryRuntimeUnusable,
                       unusable(t("The Java runtime in {0} cannot be loaded.",
                                  "Die Java-Laufzeitumgebung in {0} lässt sich nicht laden.")));
    texts.emplace_back(MessageId::UnpackFailed, unpackFailed());

    std::vector<DefaultText> result;
    for (const auto& [id, text] : texts) {
        std::u16string wide;
        // Every piece is valid UTF-8 (literals, and settings carried over as Latin-1).
        utf8ToUtf16(text, wide);
        result.push_back(DefaultText{idNumber(id), wide});
    }
    std::sort(result.begin(), result.end(), [](const DefaultText& a, const DefaultText& b) { return a.id < b.id; });
    return result;
}

template <typename Entries>
bool holds(const Entries& entries, int id) {
    return std::any_of(entries.begin(), entries.end(), [id](const auto& e) { return e.first == id; });
}

const LocaleSection* findSection(const Description& description, const std::string& name) {
    for (const LocaleSection& section : description.locales)
        if (section.name == name) return &section;
    return nullptr;
}

// Inserts (id, text) into entries kept in ascending id.
void insertById(std::vector<std::pair<int, std::u16string>>& entries, int id, const std::u16string& text) {
    auto at = std::find_if(entries.begin(), entries.end(), [id](const auto& e) { return e.first > id; });
    entries.insert(at, {id, text});
}

template <typename Entries>
const std::u16string* textOf(const Entries& entries, int id) {
    for (const auto& e : entries)
        if (e.first == id) return &e.second;
    return nullptr;
}

template <typename Entries>
void eraseId(Entries& entries, int id) {
    entries.erase(std::remove_if(entries.begin(), entries.end(), [id](const auto& e) { return e.first == id; }),
                  entries.end());
}

bool sameMessages(const Description& a, const Description& b) {
    if (a.messages != b.messages || a.locales.size() != b.locales.size()) return false;
    for (size_t i = 0; i < a.locales.size(); ++i)
        if (a.locales[i].name != b.locales[i].name || a.locales[i].overrides != b.locales[i].overrides) return false;
    return true;
}

}  // namespace

std::vector<DefaultText> composeDefaultTexts(const Description& description, int launcherBits, TextLanguage language) {
    return Composer(description, launcherBits, language).compose();
}

void addDefaultTexts(Description& description, int launcherBits) {
    const LocaleSection* everyone = findSection(description, "");
    auto configuredForAll = [&](int id) {
        return holds(description.messages, id) || holds(description.settings, id) ||
               (everyone != nullptr && holds(everyone->overrides, id));
    };
    std::vector<DefaultText> english = composeDefaultTexts(description, launcherBits, TextLanguage::English);
    std::vector<DefaultText> german = composeDefaultTexts(description, launcherBits, TextLanguage::German);

    std::vector<DefaultText> germanToAdd;
    const LocaleSection* existingGerman = findSection(description, "de");
    for (const DefaultText& text : german)
        if (!configuredForAll(text.id) && (existingGerman == nullptr || !holds(existingGerman->overrides, text.id)))
            germanToAdd.push_back(text);
    for (const DefaultText& text : english)
        if (!configuredForAll(text.id)) insertById(description.messages, text.id, text.text);

    if (germanToAdd.empty()) return;
    auto section = std::find_if(description.locales.begin(), description.locales.end(),
                                [](const LocaleSection& s) { return s.name == "de"; });
    if (section == description.locales.end()) {
        // Sections stay ordered by name, so a more specific one ("de_CH") still comes later
        // and wins where both apply.
        section = std::find_if(description.locales.begin(), description.locales.end(),
                               [](const LocaleSection& s) { return s.name > std::string("de"); });
        section = description.locales.insert(section, LocaleSection{"de", {}});
    }
    for (const DefaultText& text : germanToAdd) insertById(section->overrides, text.id, text.text);
}

LeftOutTexts removeDefaultTexts(Description& description, int launcherBits) {
    std::vector<DefaultText> english = composeDefaultTexts(description, launcherBits, TextLanguage::English);
    std::vector<DefaultText> german = composeDefaultTexts(description, launcherBits, TextLanguage::German);
    const LocaleSection* everyone = findSection(description, "");
    const LocaleSection* existingGerman = findSection(description, "de");
    if (existingGerman == nullptr) return {};

    Description reduced = description;
    LocaleSection& reducedGerman = *std::find_if(reduced.locales.begin(), reduced.locales.end(),
                                                 [](const LocaleSection& s) { return s.name == "de"; });
    LeftOutTexts leftOut;
    for (size_t i = 0; i < english.size() && i < german.size(); ++i) {
        int id = english[i].id;
        const std::u16string* base = textOf(description.messages, id);
        const std::u16string* inGerman = textOf(existingGerman->overrides, id);
        // Packing adds the English default only where nothing else applies for everyone, and
        // always adds the German one beside it unless the "de" section has its own text; a
        // base text without any "de" text beside it was therefore configured.
        if (base == nullptr || *base != english[i].text || inGerman == nullptr || holds(description.settings, id) ||
            (everyone != nullptr && holds(everyone->overrides, id)))
            continue;
        eraseId(reduced.messages, id);
        leftOut.english.push_back(english[i]);
        if (german[i].id == id && *inGerman == german[i].text) {
            eraseId(reducedGerman.overrides, id);
            leftOut.german.push_back(german[i]);
        }
    }
    if (reducedGerman.overrides.empty() && !leftOut.german.empty())
        reduced.locales.erase(std::find_if(reduced.locales.begin(), reduced.locales.end(),
                                           [](const LocaleSection& s) { return s.name == "de"; }));

    // Only a reduction that packs back to the very same messages is taken.
    Description packedAgain = reduced;
    addDefaultTexts(packedAgain, launcherBits);
    if (!sameMessages(packedAgain, description)) return {};
    description = std::move(reduced);
    return leftOut;
}
