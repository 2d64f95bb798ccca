// The portable decisions of starting the JVM thread: the stack it reserves, read from the
// assembled options. launch_jvm_win.cpp creates the thread with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A memory size as -Xss takes it: decimal, optionally one of k, m, g, t (either case);
// -1 when the text is not of that form.
int64_t parseMemorySize(const std::string& text);

// The thread stack reservation the options ask for: the last "-Xss" with a positive size
// (low 32 bits), raised to 65536 when between 1 and 65535; 0 means the system default.
uint32_t stackSizeFromOptions(const std::vector<std::string>& options);
