// UTF-8 encoding of single code points, shared by the log writer and the tools that build
// on the launcher's sources (the packer, the real-JVM host).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Longest UTF-8 sequence of one code point.
constexpr size_t kUtf8SequenceCapacity = 4;

// Writes the UTF-8 form of `codePoint` (at most U+10FFFF; the caller has already replaced
// anything else) into `bytes`, which holds kUtf8SequenceCapacity bytes; returns its length.
size_t utf8Sequence(uint32_t codePoint, char* bytes);

// Appends the UTF-8 form of `codePoint` to `out`.
void appendUtf8(std::string& out, uint32_t codePoint);
