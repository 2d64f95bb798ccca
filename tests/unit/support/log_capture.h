// Native builds have no log file: the log calls of the portable code land in memory, where
// tests can look at them.
#pragma once

#include <string>
#include <vector>

// Every line logged since the last clear, "ERROR: " in front of logError lines.
std::vector<std::wstring>& capturedLog();
void clearCapturedLog();
bool logContains(const std::wstring& fragment);
