#include "service/service_main_rules.h"

#include "core/command_line.h"
#include "core/commands.h"

#include <cwchar>

void appendQuotedPiece(std::wstring& line, const std::wstring& piece) {
    if (!line.empty()) line += L' ';
    line += quoteArgument(piece);
}

bool buildChildCommandLine(const std::vector<std::wstring>& ownWords, const std::wstring& serviceName,
                           const std::vector<std::wstring>& startArguments, size_t capacity, std::wstring& line) {
    std::wstring built;
    // The program comes first even when it is empty (quoted then), so the name is always
    // the second word.
    appendQuotedPiece(built, ownWords.empty() ? std::wstring() : ownWords[0]);
    appendQuotedPiece(built, serviceName);
    for (size_t i = 1; i < ownWords.size(); ++i) appendQuotedPiece(built, ownWords[i]);
    for (const std::wstring& argument : startArguments) appendQuotedPiece(built, argument);
    appendQuotedPiece(built, kRestartMarker);
    if (built.size() + 1 > capacity) return false;
    line = built;
    return true;
}

const wchar_t* chooseServiceName(unsigned long argc, wchar_t** argv, size_t capacity) {
    if (argc < 1 || argv == nullptr || argv[0] == nullptr || argv[0][0] == 0) return L"unknown";
    if (wcsnlen(argv[0], capacity) >= capacity) return L"unknown";
    return argv[0];
}

ServiceState stateAfterStopRequest(ServiceState current) {
    return current == ServiceState::Stopped ? current : ServiceState::StopPending;
}

ServiceState stateAfterChildStarted(ServiceState current) {
    return current == ServiceState::StopPending ? current : ServiceState::Running;
}

bool childEndReportsStopped(ServiceState current, unsigned long exitCode) {
    return exitCode == 0 || current == ServiceState::StopPending;
}

ShutdownChannelSlot::Publish ShutdownChannelSlot::publish(void* channel) {
    channel_ = channel;
    int expected = Empty;
    if (state_.compare_exchange_strong(expected, Holding)) return Publish::Stored;
    channel_ = nullptr;
    return Publish::StopAlreadyRequested;
}

ShutdownChannelSlot::Take ShutdownChannelSlot::takeForStop(void*& channel) {
    // The state may move from Empty to Holding between a look and an exchange; the loop
    // looks again then, so a request that comes just as the channel is stored still gets it.
    for (;;) {
        int seen = state_.load();
        if (seen == Holding) {
            if (state_.compare_exchange_strong(seen, Handed)) {
                channel = channel_;
                return Take::Channel;
            }
        } else if (seen == Empty) {
            if (state_.compare_exchange_strong(seen, StopRequested)) return Take::Remembered;
        } else {
            return Take::AlreadyTaken;
        }
    }
}

void* ShutdownChannelSlot::withdraw() {
    int expected = Holding;
    if (!state_.compare_exchange_strong(expected, Withdrawn)) return nullptr;
    return channel_;
}
