// The runtime search over what a deployment can hand it: the two location files' first
// lines, the search sequence and the version bounds, all from the input, with lookups that
// find nothing so that every step runs. No input may crash the search, make it hand a text
// to a lookup that is not terminated within its buffer, or keep it going without end.
#include "config/config_ids.h"
#include "config/config_store.h"
#include "jvmsearch/jvm_search_rules.h"
#include "support/log_capture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

class EmptyMachine : public SearchLookups {
public:
    std::string preferred, installer;
    size_t checks = 0;

    bool readLocationFile(const wchar_t* name, char* line, size_t capacity) override {
        const std::string& content = wcscmp(name, kPreferredLocationFile) == 0 ? preferred : installer;
        if (content.empty()) return false;
        std::string first = content.substr(0, content.find('\n'));
        stripLineEnd(first);
        first = first.substr(0, capacity - 1);
        memcpy(line, first.c_str(), first.size() + 1);
        return true;
    }
    bool expand(char* text, size_t capacity) override { return terminated(text, capacity); }
    bool checkJavaHome(const char* home, JavaCandidate&, const VersionBounds&, bool, bool) override {
        return seen(home);
    }
    bool checkEnvJavaHome(const char* variable, JavaCandidate&, const VersionBounds&) override {
        return seen(variable);
    }
    bool checkJavaOnPath(JavaCandidate&, const VersionBounds&) override { return seen(""); }
    bool findSharedRuntime(JavaCandidate&, const VersionBounds&) override { return seen(""); }
    bool findRegistryRuntime(JavaCandidate&, const VersionBounds&) override { return seen(""); }
    bool findPreviousInstallation(InstallationScope, JavaCandidate&, const VersionBounds&) override { return seen(""); }
    bool addNonWorkingJava(const char*) override { return false; }
    bool pathExists(const char* path) override { return seen(path); }
    bool load(const char*) override { return false; }

private:
    static bool terminated(const char* text, size_t capacity) { return strnlen(text, capacity) < capacity; }
    bool seen(const char* text) {
        if (!terminated(text, kSearchTextCapacity)) __builtin_trap();
        if (++checks > 100000) __builtin_trap();  // a search that does not end
        return false;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && parts.size() < 5)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    parts.resize(5);
    configStore = ConfigStore();
    configStore.settings[idNumber(SettingId::SearchSequence)] = parts[1];
    configStore.settings[idNumber(SettingId::MinVersion)] = parts[3];
    configStore.settings[idNumber(SettingId::MaxVersion)] = parts[4];
    EmptyMachine machine;
    machine.preferred = parts[0];
    machine.installer = parts[2];
    JavaCandidate found;
    SearchOutcome outcome = searchJvm(machine, found);
    if (outcome.loaded) __builtin_trap();
    return 0;
}
