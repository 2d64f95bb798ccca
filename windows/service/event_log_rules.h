// The text of the Event Log entry the supervisor writes when the application fails: how it
// failed, and the last lines of its output when the service keeps its output in a file.
#pragma once

#include <string>
#include <vector>

struct ChildFailure {
    enum class Kind {
        Ended,       // the child ran and ended with a non-zero exit code
        NotStarted,  // the child could not be started; the code is the system error
    };
    Kind kind;
    unsigned long code;
};

// How many lines of the output file an entry quotes at most.
constexpr size_t kEntryOutputLines = 20;

// The entry for `failure` of service `serviceName`. When `outputFile` is not empty and
// `outputLines` holds lines, they follow under a line naming the file. Lines are separated by
// CR LF, as the Event Viewer shows them. An exit code above 0xFFFF (an NTSTATUS such as an
// access violation) is also given in hexadecimal, the form it is looked up by.
std::wstring childFailureEntry(const std::wstring& serviceName, ChildFailure failure, const std::wstring& outputFile,
                               const std::vector<std::wstring>& outputLines);
