// Texts the supervisor composes: its service name and the child's command line. Kept apart
// from the Service Control Manager so their rules can be checked on their own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The name the supervisor runs under: the first argument the Service Control Manager hands
// to the service's main function, or "unknown" when there is none, it is empty, or it would
// not fit `capacity` characters with its terminator (a cut name would name another service).
const wchar_t* chooseServiceName(unsigned long argc, wchar_t** argv, size_t capacity);

// Appends `piece` to `line`, enclosed in double quotes exactly when it holds a space. No
// other escaping is done. A separating space goes in front unless `line` is empty.
void appendQuotedPiece(std::wstring& line, const std::wstring& piece);

// The command line of the supervised child: the supervisor's own words (program first), the
// service name, the start arguments and the restart marker. False when the result would not
// fit `capacity` characters with its terminator; the child is then not started rather than
// started with a cut command line.
bool buildChildCommandLine(const std::vector<std::wstring>& ownWords, const std::wstring& serviceName,
                           const std::vector<std::wstring>& startArguments, size_t capacity, std::wstring& line);
