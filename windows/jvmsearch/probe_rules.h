// The parts of running "java -version" that need no process: the command line, the bound on
// what is kept of the output, and the time budget of the whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The whole probe (start, reading the output and waiting for the exit) gets this long; a
// java.exe still running afterwards is terminated and the probe fails.
constexpr uint32_t kProbeTimeoutMs = 60000;

// The short form of the executable's path is used only up to this many characters.
constexpr size_t kProbeShortPathLimit = 5980;

// A version banner is a few hundred bytes; a runtime that writes more than this has its
// further output read (so it never blocks on a full pipe) and dropped.
constexpr size_t kProbeOutputLimit = 64 * 1024;

// The output is read in chunks of at most this many bytes.
constexpr size_t kProbeReadChunk = 512;

// `"<path>" -version`.
std::string probeCommandLine(const std::string& exePath);

// Appends what still fits below `limit` bytes; returns false when something was dropped.
bool appendProbeOutput(std::string& output, const char* data, size_t size, size_t limit = kProbeOutputLimit);

// Milliseconds left of `budget` after `elapsed`; 0 once it is spent.
uint32_t remainingProbeTime(uint64_t elapsed, uint32_t budget = kProbeTimeoutMs);
