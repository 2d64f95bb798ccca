#include "jvmsearch/probe_rules.h"

std::string probeCommandLine(const std::string& exePath) { return "\"" + exePath + "\" -version"; }

bool appendProbeOutput(std::string& output, const char* data, size_t size, size_t limit) {
    size_t room = output.size() < limit ? limit - output.size() : 0;
    size_t taken = size < room ? size : room;
    output.append(data, taken);
    return taken == size;
}

uint32_t remainingProbeTime(uint64_t elapsed, uint32_t budget) {
    return elapsed >= budget ? 0 : static_cast<uint32_t>(budget - elapsed);
}
