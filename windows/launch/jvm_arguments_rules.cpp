#include "launch/jvm_arguments_rules.h"

#include "config/config_store.h"
#include "core/log.h"
#include "core/text_helpers.h"
#include "paths/path_helpers_rules.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace {

const char kClassPathPrefix[] = "-Djava.class.path=";

std::string property(const char* name, const std::string& value) { return std::string("-D") + name + "=" + value; }

std::string withoutTrailingSemicolon(std::string text) {
    if (endsWith(text, ";")) text.pop_back();
    return text;
}

// A path as written in an entry, taken below the launcher directory when relative and with
// backslash runs collapsed; no other normalisation, so what the user wrote stays visible.
std::string resolveEntryPath(const std::string& path, JvmArgumentSources& sources) {
    std::string resolved = isRelativePath(path.c_str()) ? sources.launcherDirectory() + path : path;
    sources.collapseBackslashes(resolved);
    return resolved;
}

// "A" and "D" entries: an expansion may have produced several paths, each resolved on its
// own. The entry counts as found only when it names at least one path and every path
// exists (for the usual single path: that path exists).
bool addPathList(std::string& pathText, const std::string& name, JvmArgumentSources& sources, std::string& notFound) {
    std::string joined;
    bool allExist = true;
    std::vector<std::string> parts = splitList(name, ';', EmptyPieces::Skip);
    for (const std::string& part : parts) {
        std::string resolved = resolveEntryPath(part, sources);
        if (!sources.pathExists(resolved)) {
            allExist = false;
            notFound += (notFound.empty() ? "" : ";") + resolved;
        }
        if (!joined.empty()) joined += ";";
        joined += resolved;
    }
    if (!joined.empty()) pathText += joined + ";";
    return allExist && !parts.empty();
}

// "E" entries. A value in double quotes loses them (a quoted environment value is one
// path); a value that only begins with a quote is taken as it stands.
void addEnvironmentValue(std::string& pathText, std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    pathText += value;
    if (!endsWith(value, ";")) pathText += ";";
}

}  // namespace

const char* runtimeModuleName(char generatorKind) {
    return generatorKind == 'i' ? "com.quillwork.runtime" : "com.ravel.runtime";
}

std::vector<std::string> launcherProperties(const LauncherPropertyInputs& inputs) {
    std::vector<std::string> properties;
    if (!inputs.semaphoreName.empty()) properties.push_back(property("ravel.semaphoreName", inputs.semaphoreName));
    if (inputs.generatorKind == 'i') properties.push_back(property("ravel.isQuillwork", "true"));
    if (inputs.serviceMode) properties.push_back(property("ravel.isService", "true"));
    properties.push_back(property("ravel.moduleName", inputs.launcherPath));
    properties.push_back(property("sun.java.command", inputs.launcherPath));
    properties.push_back(property("ravel.tempDir", inputs.extractionDirectory));
    properties.push_back(property("ravel.unextractedPosition", std::to_string(inputs.unextractedPosition)));
    properties.push_back("-Djava.library.path=" + inputs.path);
    if (!inputs.manPathDefined)
        properties.push_back(property("ravel.consoleCodepage", "cp" + std::to_string(inputs.consoleOutputCodePage)));
    return properties;
}

bool addArchivesOfDirectory(std::string& pathText, const std::string& directory, const std::string& extension,
                            JvmArgumentSources& sources) {
    if (directory.empty()) return false;
    std::string base = resolveEntryPath(directory, sources);
    if (!sources.pathExists(base)) return false;
    for (const std::string& name : sources.listFiles(base, extension))
        pathText += resolveEntryPath(base + "\\" + name, sources) + ";";
    return true;
}

void addRuntimeArchive(std::string& pathText, char generatorKind, JvmArgumentSources& sources) {
    if (generatorKind != 'i') return;
    std::string root = sources.absolutePath(getSettingCopy(SettingId::RootDirectory));
    pathText += root;
    if (!endsWith(root, "\\")) pathText += "\\";
    pathText += ".quillwork\\qwkruntime.jar;";
}

std::optional<MissingEntry> addPathEntries(SettingId settingId, std::string& pathText, JvmArgumentSources& sources) {
    // The whole setting is used: a long class path is never cut at a buffer size.
    std::string setting = getSettingCopy(settingId);
    logLine(L"entry %S", setting.c_str());
    std::vector<std::string> entries = splitList(setting, ';', EmptyPieces::Skip);
    logLine(L"entries %d", static_cast<int>(entries.size()));

    for (const std::string& entry : entries) {
        char kind = entry[0];
        bool required = entry.size() > 1 && entry[1] == '1';
        std::string name = sources.expandVariables(entry.size() > 2 ? entry.substr(2) : std::string());
        bool found = false;
        std::string notFound;
        switch (kind) {
        case 'A':
        case 'D':
            found = addPathList(pathText, name, sources, notFound);
            break;
        case 'E': {
            std::optional<std::string> value = sources.environmentVariable(name);
            if (value && !value->empty()) {
                addEnvironmentValue(pathText, *value);
                found = true;
            } else if (!required) {
                continue;
            } else if (!value) {
                return MissingEntry{MessageId::ClassPathVariableMissing, name, settingId, kind, ""};
            }
            // Defined but empty: a required entry then counts as not found.
            break;
        }
        case 'S': {
            std::string directory = resolveEntryPath(name, sources);
            if (settingId == SettingId::ClassPath) {
                bool jars = addArchivesOfDirectory(pathText, directory, "jar", sources);
                bool zips = addArchivesOfDirectory(pathText, directory, "zip", sources);
                found = jars || zips;
            } else {
                found = sources.pathExists(directory);
                pathText += directory + ";";
            }
            if (!found) notFound = directory;
            break;
        }
        default:
            // An unknown kind adds nothing; when required it is an entry not found.
            break;
        }
        if (required && !found) return MissingEntry{MessageId::ClassPathEntryMissing, name, settingId, kind, notFound};
    }
    return std::nullopt;
}

bool jArgumentsBecomeOptions(bool allowedBySetting, bool serviceMode) { return allowedBySetting && !serviceMode; }

OptionAssembly assembleOptions(const std::vector<std::string>& launcherProperties, const ArgumentList& args,
                               const JvmArgumentState& state, JvmArgumentSources& sources,
                               OptionFileSystem& optionFiles) {
    OptionAssembly result;
    OptionList& options = result.options;
    ClassPathOverrides overrides;
    options = launcherProperties;

    OptionFileReader reader(optionFiles);
    reader.addConfigured(args, options, overrides);
    if (getSettingInt(SettingId::ReadVmOptionsFile) != 0) reader.readDefaultFile(options, overrides);
    bool allowed = getSettingInt(SettingId::AllowJArguments) != 0;
    if (jArgumentsBecomeOptions(allowed, state.serviceMode)) {
        for (const std::wstring& arg : args)
            if (startsWith(arg, L"-J")) reader.processLine(nullptr, arg.substr(2), options, overrides);
    } else if (allowed) {
        for (const std::wstring& arg : args)
            if (startsWith(arg, L"-J")) logLine(L"service: -J argument is no JVM option here: %s", arg.c_str());
    }

    bool moduleMode = getSettingInt(SettingId::ModuleMode) != 0;
    std::string modulePath;
    logLine(L"adding preconfigured modulepath");
    result.missing = addPathEntries(SettingId::ModulePath, modulePath, sources);
    if (result.missing) return result;

    std::string classPath = kClassPathPrefix;
    std::string& target = (!modulePath.empty() || moduleMode) ? modulePath : classPath;
    if (!overrides.prepend.empty()) classPath += overrides.prepend + ";";
    for (const std::string& archive : state.extractedArchives) target += archive + ";";
    addRuntimeArchive(target, state.generatorKind, sources);
    if (!overrides.replacement.empty()) {
        classPath += overrides.replacement;
    } else {
        logLine(L"adding preconfigured classpath");
        result.missing = addPathEntries(SettingId::ClassPath, classPath, sources);
        if (result.missing) return result;
    }
    if (!overrides.append.empty()) {
        // No separator right after "=": an empty first entry would put the working
        // directory on the class path.
        if (!endsWith(classPath, ";") && classPath != kClassPathPrefix) classPath += ";";
        classPath += overrides.append;
    }
    options.push_back(withoutTrailingSemicolon(classPath));

    if (!modulePath.empty()) {
        options.push_back("--module-path=" + withoutTrailingSemicolon(modulePath));
        ModuleOptions modules =
            moduleOptions(moduleMode, getSettingCopy(SettingId::MainClass), runtimeModuleName(state.generatorKind));
        if (!modules.addOpens.empty()) options.push_back(modules.addOpens);
        options.push_back(modules.addModules);
    }

    if (state.serviceMode && std::find(options.begin(), options.end(), "-Xrs") == options.end()) {
        logLine(L"service: adding -Xrs");
        options.push_back("-Xrs");
    }
    if (state.noRedirect) options.push_back("-Dquillwork.noRedir=true");

    joinModuleOptions(options);
    if (hasArgumentFileOption(options)) {
        optionFiles.expandArgumentFiles(options);
        joinModuleOptions(options);
    }
    removeEmptyOptions(options);
    return result;
}

bool isModuleOption(const std::string& option) {
    static const char* const kModuleOptions[] = {"--upgrade-module-path", "--add-modules", "--limit-modules",
                                                 "--add-exports",         "--add-opens",   "--add-reads",
                                                 "--patch-module"};
    for (const char* name : kModuleOptions)
        if (option == name) return true;
    return false;
}

void joinModuleOptions(std::vector<std::string>& options) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (isModuleOption(options[i])) {
            options[i] += "=" + options[i + 1];
            options.erase(options.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
    }
}

ModuleOptions moduleOptions(bool moduleMode, const std::string& mainClass, const std::string& runtimeModule) {
    ModuleOptions result;
    std::string modules;
    if (moduleMode) {
        std::string text = mainClass;
        size_t slash = text.find('/');
        if (slash != std::string::npos) {
            size_t lastDot = text.rfind('.');
            if (lastDot != std::string::npos && lastDot > slash) {
                std::string modulePackage = text.substr(0, lastDot);
                result.addOpens = "--add-opens=" + modulePackage + "=" + runtimeModule;
            }
            text = text.substr(0, slash);
        }
        modules = text + ",";
    }
    result.addModules = "--add-modules=" + modules + runtimeModule;
    return result;
}

void removeEmptyOptions(std::vector<std::string>& options) {
    std::vector<std::string> kept;
    for (std::string& o : options)
        if (!o.empty()) kept.push_back(std::move(o));
    options.swap(kept);
}

std::string missingEntryReason(const MissingEntry& missing) {
    std::string text = std::string("required ") +
                       (missing.settingId == SettingId::ModulePath ? "module path" : "class path") + " entry " +
                       missing.name + " not found: ";
    if (missing.messageId == MessageId::ClassPathVariableMissing)
        return text + "the environment variable " + missing.name + " is not defined";
    if (!missing.lookedFor.empty()) return text + "looked for " + missing.lookedFor;
    if (missing.kind == 'E') return text + "the environment variable " + missing.name + " is empty";
    if (missing.kind == 'A' || missing.kind == 'D') return text + "it names no path";
    return text + "its type letter " + std::string(1, missing.kind) + " is not one of A, D, E and S";
}
