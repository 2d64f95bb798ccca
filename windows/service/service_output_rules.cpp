#include "service/service_output_rules.h"

#include "config/config_store.h"
#include "core/text_helpers.h"

OutputLimits outputLimits(const std::string& maxBytesText, const std::string& keepText) {
    OutputLimits limits{kDefaultOutputMaxBytes, kDefaultOutputKeep};
    if (!maxBytesText.empty()) {
        int maxBytes = parseLeadingInt(maxBytesText.c_str());
        if (maxBytes > 0) limits.maxBytes = static_cast<unsigned long long>(maxBytes);
    }
    if (!keepText.empty()) {
        int keep = parseLeadingInt(keepText.c_str());
        if (keep >= 0) limits.keep = keep > static_cast<int>(kMaxOutputKeep) ? kMaxOutputKeep : keep;
    }
    return limits;
}

bool rotationDue(unsigned long long currentSize, size_t lineBytes, unsigned long long maxBytes) {
    return currentSize > 0 && lineBytes > maxBytes - (currentSize < maxBytes ? currentSize : maxBytes);
}

std::wstring rotatedName(const std::wstring& path, unsigned number) { return path + L"." + decimalText(number); }

std::vector<RotationStep> rotationSteps(const std::wstring& path, unsigned keep) {
    using Kind = RotationStep::Kind;
    if (keep == 0) return {{Kind::Remove, path, L""}};
    std::vector<RotationStep> steps{{Kind::Remove, rotatedName(path, keep), L""}};
    for (unsigned number = keep - 1; number >= 1; --number)
        steps.push_back({Kind::Move, rotatedName(path, number), rotatedName(path, number + 1)});
    steps.push_back({Kind::Move, path, rotatedName(path, 1)});
    return steps;
}

void OutputLineSplitter::feed(std::string_view chunk, std::vector<std::string>& lines) {
    while (!chunk.empty()) {
        size_t room = capacity_ - pending_.size();
        size_t feed = chunk.find('\n');
        bool lineEnds = feed != std::string_view::npos && feed < room;
        size_t taken = lineEnds ? feed + 1 : (chunk.size() < room ? chunk.size() : room);
        pending_.append(chunk.data(), taken);
        chunk.remove_prefix(taken);
        if (lineEnds || pending_.size() == capacity_) {
            lines.push_back(std::move(pending_));
            pending_.clear();
        }
    }
}

std::string OutputLineSplitter::finish() {
    std::string rest = std::move(pending_);
    pending_.clear();
    return rest;
}

std::vector<std::string> lastLines(std::string_view tail, size_t count, bool cutAtFront) {
    if (cutAtFront) {
        size_t firstEnd = tail.find('\n');
        tail.remove_prefix(firstEnd == std::string_view::npos ? tail.size() : firstEnd + 1);
    }
    // A final line feed ends the last line; it does not begin an empty one.
    if (!tail.empty() && tail.back() == '\n') tail.remove_suffix(1);
    std::vector<std::string> lines;
    while (!tail.empty() && lines.size() < count) {
        size_t start = tail.rfind('\n');
        std::string_view line = start == std::string_view::npos ? tail : tail.substr(start + 1);
        tail.remove_suffix(start == std::string_view::npos ? tail.size() : tail.size() - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
    }
    return {lines.rbegin(), lines.rend()};
}
