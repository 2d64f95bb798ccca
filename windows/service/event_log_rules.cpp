#include "service/event_log_rules.h"

#include "core/text_format.h"

namespace {

constexpr unsigned long kLargestPlainExitCode = 0xFFFF;

std::wstring failureSentence(const std::wstring& serviceName, ChildFailure failure) {
    if (failure.kind == ChildFailure::Kind::NotStarted)
        return formatWideString(L"The service '%s' could not start its application (system error %lu).",
                                serviceName.c_str(), failure.code);
    if (failure.code > kLargestPlainExitCode)
        return formatWideString(L"The application of the service '%s' ended with exit code %lu (0x%08X).",
                                serviceName.c_str(), failure.code, static_cast<unsigned>(failure.code));
    return formatWideString(L"The application of the service '%s' ended with exit code %lu.", serviceName.c_str(),
                            failure.code);
}

}  // namespace

std::wstring childFailureEntry(const std::wstring& serviceName, ChildFailure failure, const std::wstring& outputFile,
                               const std::vector<std::wstring>& outputLines) {
    std::wstring entry = failureSentence(serviceName, failure);
    if (outputFile.empty() || outputLines.empty()) return entry;
    entry += L"\r\n\r\nLast lines of " + outputFile + L":";
    for (const std::wstring& line : outputLines) entry += L"\r\n" + line;
    return entry;
}
