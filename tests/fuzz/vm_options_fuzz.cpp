// VM-options files with include chains, read from an in-memory file system: the default file
// and three more that lines may include by relative or absolute name, in cycles too. No
// input may crash the reader, read a file again while it is being read, or make more options
// than the files have lines.
#include "launch/vm_options_rules.h"
#include "support/log_capture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

namespace {

class MemoryOptionFiles : public OptionFileSystem {
public:
    std::map<std::wstring, std::string> files;  // full path -> content
    std::string defaultContent;
    int open = 0;

    FILE* openText(const std::wstring& path) override {
        auto it = files.find(path);
        return it == files.end() ? nullptr : openContent(it->second);
    }
    std::string fileIdentity(FILE* file, const wchar_t* path) override {
        (void)file;
        if (path == nullptr) return "default";
        std::wstring name(path);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); });
        return std::string(name.begin(), name.end());
    }
    bool expand(wchar_t*, size_t, bool) override { return true; }
    std::string toOptionText(const std::wstring& text) override {
        std::string narrow;
        for (wchar_t c : text) narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
        return narrow;
    }
    // Each byte as the code unit of the same value, as code page 1252 does for most of them.
    std::wstring widenAnsiLine(const std::string& line) override {
        std::wstring wide;
        for (char c : line) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        return wide;
    }
    std::wstring launcherDirectory() override { return L"C:\\app\\"; }
    FILE* openDefaultFile() override { return openContent(defaultContent); }
    void expandArgumentFiles(OptionList&) override {}

private:
    FILE* openContent(const std::string& content) {
        // fmemopen refuses an empty buffer; an empty file is an empty stream all the same.
        FILE* file = content.empty() ? fopen("/dev/null", "r")
                                     : fmemopen(const_cast<char*>(content.data()), content.size(), "r");
        return file;
    }
};

size_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n') + 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    clearCapturedLog();
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && parts.size() < 4)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    parts.resize(4);
    MemoryOptionFiles files;
    files.defaultContent = parts[0];
    files.files[L"C:\\app\\a.vmoptions"] = parts[1];
    files.files[L"C:\\app\\conf\\b.vmoptions"] = parts[2];
    files.files[L"C:\\c.vmoptions"] = parts[3];

    OptionList options;
    ClassPathOverrides overrides;
    OptionFileReader reader(files);
    reader.readDefaultFile(options, overrides);

    // Each file is read at most once along one include chain, so no chain reads more lines
    // than the four files hold; with several chains, a file can be read once per chain.
    size_t lines = 0;
    for (const std::string& part : parts) lines += lineCount(part);
    if (options.size() > lines * 16) __builtin_trap();
    return 0;
}
