#include "block_writer.h"

#include "config/block_format.h"

#include <algorithm>

namespace {

class Writer {
public:
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void u64(uint64_t v) {
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void string(const std::string& s) {
        i32(static_cast<int32_t>(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    void wstring(const std::u16string& s) {
        i32(static_cast<int32_t>(s.size() * 2));
        for (char16_t c : s) {
            out.push_back(static_cast<uint8_t>(c));
            out.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    std::vector<uint8_t> out;
};

bool hasSetting(const Description& d, int id) {
    return std::any_of(d.settings.begin(), d.settings.end(), [id](const auto& s) { return s.first == id; });
}

}  // namespace

std::vector<uint8_t> buildBlock(const Description& description) {
    std::vector<std::pair<int, std::string>> settings = description.settings;
    if (!description.files.empty()) {
        if (!hasSetting(description, kSettingIncludedFileCount))
            settings.emplace_back(kSettingIncludedFileCount, std::to_string(description.files.size()));
        if (!hasSetting(description, kSettingIncludedFilePaths)) {
            std::string paths;
            for (const IncludedFile& f : description.files) paths += (paths.empty() ? "" : ";") + f.path;
            settings.emplace_back(kSettingIncludedFilePaths, paths);
        }
    }

    Writer w;
    w.u32(kBlockMagic);
    // Header words the launcher skips: a format version and two reserved fields.
    w.u32(1);
    w.u32(0);
    w.u64(0);

    w.i32(static_cast<int32_t>(settings.size()));
    for (const auto& s : settings) {
        w.i32(s.first);
        w.string(s.second);
    }
    w.i32(static_cast<int32_t>(description.messages.size()));
    for (const auto& m : description.messages) {
        w.i32(m.first);
        w.wstring(m.second);
    }
    w.i32(static_cast<int32_t>(description.locales.size()));
    for (const LocaleSection& l : description.locales) {
        w.string(l.name);
        w.i32(static_cast<int32_t>(l.overrides.size()));
        for (const auto& o : l.overrides) {
            w.i32(o.first);
            w.wstring(o.second);
        }
    }
    for (const IncludedFile& f : description.files) {
        w.u64(f.content.size());
        for (uint8_t b : f.content) w.out.push_back(b ^ kIncludedFileXor);
    }
    return std::move(w.out);
}
