#include "instance/semaphore_name.h"

std::string sanitizeInstancePath(const std::string& canonicalPath) {
    std::string sanitized = canonicalPath;
    for (char& c : sanitized)
        if (c == '\\' || c == ' ') c = '_';
    return sanitized;
}

bool buildSemaphoreName(bool global, const std::string& canonicalPath, long counter, size_t capacity,
                        std::string& name) {
    std::string built = global ? "Global\\" : "Local\\";
    built += sanitizeInstancePath(canonicalPath);
    if (counter >= 0) built += std::to_string(counter);
    if (built.size() + 1 > capacity) return false;
    name = built;
    return true;
}
