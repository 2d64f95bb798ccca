#include "block_writer.h"
#include "default_texts.h"
#include "inspect.h"
#include "pe_image.h"
#include "toml_config.h"

#include "config/block_reader.h"
#include "config/config_ids.h"
#include "support/block_builder.h"
#include "support/launcher_view.h"

#include <gtest/gtest.h>

#include <map>

namespace {

Description parseToml(const std::string& text) {
    Description d;
    std::string error;
    EXPECT_TRUE(parseTomlConfig(text, "app.toml", "/nonexistent", d, error)) << error;
    return d;
}

std::string utf8(const std::u16string& text) {
    std::string out;
    EXPECT_TRUE(utf16ToUtf8(text, out));
    return out;
}

std::map<int, std::string> textsOf(const Description& d, int bits, TextLanguage language = TextLanguage::English) {
    std::map<int, std::string> texts;
    for (const DefaultText& text : composeDefaultTexts(d, bits, language)) texts[text.id] = utf8(text.text);
    return texts;
}

// The message `id` as the launcher reads it from the packed block, with the user's locale
// chosen as `locale`.
std::string shownText(const Description& d, int id, const std::string& locale) {
    ConfigStore store = launcherView(buildBlock(d), locale);
    auto found = store.messages.find(id);
    if (found == store.messages.end()) return "<absent>";
    std::string out;
    for (wchar_t c : found->second) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::vector<uint8_t> pe(uint16_t machine) {
    std::vector<uint8_t> image(0x100, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x80;
    image[0x80] = 'P';
    image[0x81] = 'E';
    image[0x84] = static_cast<uint8_t>(machine & 0xFF);
    image[0x85] = static_cast<uint8_t>(machine >> 8);
    return image;
}

const char* kService = R"toml(
[application]
main_class = "com.example.Server"
[java]
min_version = "11"
max_version = "17"
search_sequence = ["Bjre", 'AC:\java\jdk', "EJAVA_HOME", "Y"]
[classpath]
entries = ['A1lib\ravel-runtime.jar', 'A1lib\server.jar', "E1EXTRA_JARS"]
[service]
name = "ExampleServer"
)toml";

}  // namespace

TEST(DefaultTexts, BitnessComesFromTheLaunchersMachineField) {
    EXPECT_EQ(launcherBitsOfImage(pe(0x8664)), 64);
    EXPECT_EQ(launcherBitsOfImage(pe(0x014C)), 32);
    EXPECT_EQ(launcherBitsOfImage(pe(0xAA64)), 0);  // ARM64: not a launcher of ours
    std::vector<uint8_t> noSignature = pe(0x8664);
    noSignature[0x81] = 'X';
    EXPECT_EQ(launcherBitsOfImage(noSignature), 0);
    EXPECT_EQ(launcherBitsOfImage(std::vector<uint8_t>{'M', 'Z'}), 0);
    std::vector<uint8_t> outside = pe(0x8664);
    outside[0x3C] = 0xFE;
    EXPECT_EQ(launcherBitsOfImage(outside), 0);
}

TEST(DefaultTexts, RuntimeTextsSayWhatFitsWhereTheLauncherLookedAndWhatToDo) {
    std::map<int, std::string> texts = textsOf(parseToml(kService), 64);
    const std::string& none = texts[idNumber(MessageId::NoRuntimeFound)];
    EXPECT_NE(none.find("a {0}-bit Java runtime of version 11 to 17"), std::string::npos) << none;
    EXPECT_NE(none.find("The launcher looked in the folder jre in the application's folder, the folder C:\\java\\jdk, "
                        "the folder named by the environment variable JAVA_HOME, the Java installations registered "
                        "in Windows and the folders named by RAVEL_JAVA_HOME and QUILLWORK_JAVA_HOME."),
              std::string::npos)
        << none;
    EXPECT_NE(none.find("RAVEL_LOG"), std::string::npos);
    EXPECT_EQ(none.find("PATH)"), std::string::npos) << "no S entry, so no word of the PATH";

    for (MessageId id : {MessageId::DirectoryRuntimeUnusable, MessageId::EnvironmentRuntimeUnusable,
                         MessageId::RegistryRuntimeUnusable}) {
        const std::string& text = texts[idNumber(id)];
        EXPECT_NE(text.find("64-bit program and can load only a 64-bit Java runtime"), std::string::npos) << text;
        EXPECT_NE(text.find("Install a 64-bit Java runtime of version 11 to 17, or set the environment variable "
                            "RAVEL_JAVA_HOME"),
                  std::string::npos)
            << text;
    }
    std::map<int, std::string> for32 = textsOf(parseToml(kService), 32);
    EXPECT_NE(for32[idNumber(MessageId::DirectoryRuntimeUnusable)].find("a 32-bit program"), std::string::npos);

    Description jdk = parseToml("[java]\nmin_version = \"1.8\"\nrequire_jdk = true\nsearch_sequence = [\"S\"]\n");
    std::string jdkText = textsOf(jdk, 64)[idNumber(MessageId::NoRuntimeFound)];
    EXPECT_NE(jdkText.find("a {0}-bit Java Development Kit (JDK) of version 8 or later"), std::string::npos) << jdkText;
    EXPECT_NE(jdkText.find("(or the one on the PATH cannot be loaded)"), std::string::npos);
    EXPECT_NE(jdkText.find("looked in java.exe on the PATH and the folders"), std::string::npos) << jdkText;
}

TEST(DefaultTexts, ClassTextsNameTheLauncherClassItsArchiveAndTheMainClass) {
    std::map<int, std::string> texts = textsOf(parseToml(kService), 64);
    const std::string& missing = texts[idNumber(MessageId::MainClassNotFound)];
    EXPECT_NE(missing.find("com.ravel.runtime.WinLauncher was not found, which starts the application's main class "
                           "com.example.Server. It is in ravel-runtime.jar, which must be on the class path."),
              std::string::npos)
        << missing;
    EXPECT_NE(texts[idNumber(MessageId::MainMethodNotFound)].find("com.ravel.runtime.WinLauncher has no method main"),
              std::string::npos);

    Description quillwork = parseToml("[application]\ngenerator = \"i\"\n");
    EXPECT_NE(textsOf(quillwork, 64)[idNumber(MessageId::MainClassNotFound)].find(
                  "com.quillwork.runtime.launcher.WinLauncher was not found. It belongs in "
                  ".quillwork\\qwkruntime.jar"),
              std::string::npos);
    Description modules = parseToml("[modulepath]\nentries = ['A1mods']\nmodule_mode = true\n");
    std::map<int, std::string> moduleTexts = textsOf(modules, 64);
    EXPECT_NE(moduleTexts[idNumber(MessageId::MainClassNotFound)].find("must be on the module path"),
              std::string::npos);
    EXPECT_NE(moduleTexts[idNumber(MessageId::ClassPathEntryMissing)].find("class or module path is missing: {0}"),
              std::string::npos);
    // A required variable entry that is set but empty is reported through the entry message.
    EXPECT_NE(texts[idNumber(MessageId::ClassPathEntryMissing)].find("that variable is empty"), std::string::npos);
}

TEST(DefaultTexts, OnlyMessagesTheBlockCanShowGetATextAndEachArgumentHasOnePlace) {
    // The launcher fills in only the first "{0}": a second one would be shown as it stands.
    for (TextLanguage language : {TextLanguage::English, TextLanguage::German}) {
        std::map<int, std::string> texts = textsOf(parseToml(kService), 64, language);
        for (MessageId id :
             {MessageId::ClassPathEntryMissing, MessageId::ClassPathVariableMissing, MessageId::NoRuntimeFound,
              MessageId::EnvironmentRuntimeUnusable, MessageId::DirectoryRuntimeUnusable})
            EXPECT_EQ(count(texts[idNumber(id)], "{0}"), 1u) << idNumber(id) << ": " << texts[idNumber(id)];
        for (MessageId id : {MessageId::ErrorTitle, MessageId::RegistryRuntimeUnusable, MessageId::MainClassNotFound,
                             MessageId::MainMethodNotFound, MessageId::NoTempDirectory, MessageId::UnpackFailed})
            EXPECT_EQ(count(texts[idNumber(id)], "{0}"), 0u) << idNumber(id) << ": " << texts[idNumber(id)];
        EXPECT_EQ(texts[idNumber(MessageId::ErrorTitle)], "ExampleServer");
        // No included files: extraction cannot fail.
        EXPECT_EQ(texts.count(idNumber(MessageId::ExtractionFailed)), 0u);
        EXPECT_EQ(texts.count(idNumber(MessageId::ServiceDescription)), 0u);
    }
    // Without a Y entry or an application id no registry runtime is ever a candidate; without
    // required entries no entry can be missing.
    std::map<int, std::string> plain = textsOf(parseToml("[java]\nsearch_sequence = [\"Bjre\"]\n"), 64);
    EXPECT_EQ(plain.count(idNumber(MessageId::RegistryRuntimeUnusable)), 0u);
    EXPECT_EQ(plain.count(idNumber(MessageId::ClassPathEntryMissing)), 0u);
    EXPECT_EQ(plain.count(idNumber(MessageId::ClassPathVariableMissing)), 0u);
    std::map<int, std::string> installed = textsOf(parseToml("[application]\nid = \"app\"\n"), 64);
    EXPECT_NE(installed[idNumber(MessageId::RegistryRuntimeUnusable)].find("earlier installation"), std::string::npos);
    Description withFile = parseToml("[raw.settings]\n2002 = \"1\"\n");
    EXPECT_EQ(textsOf(withFile, 64).count(idNumber(MessageId::ExtractionFailed)), 1u);
}

TEST(DefaultTexts, ConfiguredTextInAnyLanguageWinsWhereItApplies) {
    Description d = parseToml(R"toml(
[messages]
error_title = "Configured title"
[messages.""]
main_method_not_found = "For everyone"
[messages.de]
no_temp_directory = "Konfiguriert"
[messages.de_CH]
no_runtime_found = "Schweiz {0}"
[messages.fr]
unpack_failed = "Configuré"
[raw.settings]
1021 = "As a setting"
)toml");
    addDefaultTexts(d, 64);
    auto english = [&](MessageId id) { return shownText(d, idNumber(id), "en_US"); };
    auto german = [&](MessageId id) { return shownText(d, idNumber(id), "de_DE"); };
    auto swiss = [&](MessageId id) { return shownText(d, idNumber(id), "de_CH"); };

    EXPECT_EQ(english(MessageId::ErrorTitle), "Configured title");
    EXPECT_EQ(german(MessageId::ErrorTitle), "Configured title");
    EXPECT_EQ(german(MessageId::MainMethodNotFound), "For everyone");
    // A text given as a setting of the same id is read by the launcher when no message is
    // there; a default message would hide it.
    EXPECT_EQ(english(MessageId::UnpackFailed), "<absent>");
    EXPECT_EQ(german(MessageId::NoTempDirectory), "Konfiguriert");
    EXPECT_EQ(english(MessageId::NoTempDirectory).rfind("No usable temp folder", 0), 0u);
    EXPECT_EQ(swiss(MessageId::NoRuntimeFound), "Schweiz {0}");
    EXPECT_EQ(german(MessageId::NoRuntimeFound).rfind("Es wurde keine passende Java-Laufzeitumgebung", 0), 0u);
    EXPECT_EQ(english(MessageId::NoRuntimeFound).rfind("No suitable Java runtime", 0), 0u);
    EXPECT_EQ(shownText(d, idNumber(MessageId::UnpackFailed), "fr_FR"), "Configur?");

    // The canonical order holds, so the printed configuration packs to the same block.
    std::vector<std::string> names;
    for (const LocaleSection& s : d.locales) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"", "de", "de_CH", "fr"}));
    for (const auto* entries : {&d.messages, &d.locales[1].overrides})
        for (size_t i = 1; i < entries->size(); ++i) EXPECT_LT((*entries)[i - 1].first, (*entries)[i].first);
    std::vector<uint8_t> block = buildBlock(d);
    PackedBlock parsed;
    InspectOutput output;
    std::string error;
    ASSERT_TRUE(parseBlock(block, parsed, error)) << error;
    parsed.launcherBits = 64;
    ASSERT_TRUE(inspectBlock(parsed, "", output, error)) << error;
    EXPECT_TRUE(output.notes.empty());
    // The defaults are left out of the printed form and composed again by packing it; the
    // texts that stop a default from being added stay.
    EXPECT_EQ(output.toml.find("No usable temp folder"), std::string::npos) << output.toml;
    EXPECT_NE(output.toml.find("no_temp_directory = \"Konfiguriert\""), std::string::npos) << output.toml;
    Description again = parseToml(output.toml);
    addDefaultTexts(again, 64);
    EXPECT_EQ(buildBlock(again), block);
}

TEST(DefaultTexts, InspectLeavesComposedTextsForTheNextPackingToCompose) {
    // One text configured exactly as its default would read: packing added no German text
    // beside it, so it must stay configured.
    std::string sameAsDefault = textsOf(parseToml(kService), 64)[idNumber(MessageId::NoTempDirectory)];
    Description d = parseToml(std::string(kService) + "[messages]\nerror_title = \"Server error\"\n" +
                              "no_temp_directory = " + tomlString(sameAsDefault) +
                              "\n[messages.de]\nmain_class_not_found = \"Eigene Meldung\"\n");
    addDefaultTexts(d, 64);
    std::vector<uint8_t> block = buildBlock(d);
    PackedBlock parsed;
    std::string error;
    ASSERT_TRUE(parseBlock(block, parsed, error)) << error;
    parsed.launcherBits = 64;
    InspectOutput output;
    ASSERT_TRUE(inspectBlock(parsed, "", output, error)) << error;
    for (const char* composed : {"No suitable Java runtime", "Es wurde keine passende", "the class com.ravel",
                                 "[messages.de]\nmain_class_not_found = \"Eigene Meldung\"\n[", "registry_runtime"})
        EXPECT_EQ(output.toml.find(composed), std::string::npos) << composed << "\n" << output.toml;
    for (std::string configured :
         {std::string("error_title = \"Server error\"\n"), "no_temp_directory = " + tomlString(sameAsDefault) + "\n",
          std::string("[messages.de]\nmain_class_not_found = \"Eigene Meldung\"\n")})
        EXPECT_NE(output.toml.find(configured), std::string::npos) << configured << "\n" << output.toml;

    // Packed as it was printed, the block comes back byte for byte.
    Description again = parseToml(output.toml);
    addDefaultTexts(again, 64);
    EXPECT_EQ(buildBlock(again), block);

    // Edited, it gets texts that fit the new settings in both languages.
    std::string edited = output.toml;
    size_t maximum = edited.find("max_version = \"17\"");
    ASSERT_NE(maximum, std::string::npos) << edited;
    edited.replace(maximum, 18, "max_version = \"21\"");
    Description fresh = parseToml(edited);
    addDefaultTexts(fresh, 64);
    std::string english = shownText(fresh, idNumber(MessageId::NoRuntimeFound), "en_US");
    std::string german = shownText(fresh, idNumber(MessageId::NoRuntimeFound), "de_DE");
    EXPECT_NE(english.find("of version 11 to 21."), std::string::npos) << english;
    EXPECT_NE(german.find("der Version 11 bis 21."), std::string::npos) << german;
    EXPECT_EQ(shownText(fresh, idNumber(MessageId::MainClassNotFound), "de_DE"), "Eigene Meldung");

    // The effective view shows the left-out texts as comments and packs to the same block.
    InspectOutput effective;
    ASSERT_TRUE(inspectBlock(parsed, "", effective, error, true)) << error;
    EXPECT_NE(effective.toml.find("\n# default: no_runtime_found = \"No suitable Java runtime"), std::string::npos);
    EXPECT_NE(effective.toml.find("\n# default: no_runtime_found = \"Es wurde keine passende"), std::string::npos);
    Description fromEffective = parseToml(effective.toml);
    addDefaultTexts(fromEffective, 64);
    EXPECT_EQ(buildBlock(fromEffective), block);

    // Texts that name the bitness of another launcher are not this launcher's defaults: they
    // are printed, and packing them for this launcher gives the same block.
    parsed.launcherBits = 32;
    InspectOutput other;
    ASSERT_TRUE(inspectBlock(parsed, "", other, error)) << error;
    EXPECT_NE(other.toml.find("environment_runtime_unusable = \"The Java runtime named by"), std::string::npos);
    EXPECT_NE(other.toml.find("is a 64-bit program"), std::string::npos);
    Description kept = parseToml(other.toml);
    addDefaultTexts(kept, 32);
    EXPECT_EQ(buildBlock(kept), block);
}
