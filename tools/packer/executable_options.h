// What the [executable] table asks of the packed launcher's own image: icon, version
// information, manifest choices and subsystem. None of it goes into the configuration block.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One image of an .ico file, as the icon directory describes it.
struct IconImage {
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    std::vector<uint8_t> data;
};

struct ExecutableOptions {
    // The keys given, by name, with their values as written (UTF-8; flags "true"/"false").
    std::map<std::string, std::string> given;
    // The images of the icon file, when "icon" is given.
    std::vector<IconImage> iconImages;

    bool empty() const { return given.empty(); }
    bool has(const std::string& key) const { return given.count(key) != 0; }
    std::string value(const std::string& key) const {
        auto it = given.find(key);
        return it == given.end() ? std::string() : it->second;
    }
};
