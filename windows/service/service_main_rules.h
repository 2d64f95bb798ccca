// The supervisor's decisions: its service name, the child's command line, the state it
// reports at each step, and who sends the shutdown line. Kept apart from the Service Control
// Manager so their rules can be checked on their own.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// The name the supervisor runs under: the first argument the Service Control Manager hands
// to the service's main function, or "unknown" when there is none, it is empty, or it would
// not fit `capacity` characters with its terminator (a cut name would name another service).
const wchar_t* chooseServiceName(unsigned long argc, wchar_t** argv, size_t capacity);

// Appends `piece` to `line` written for the child's own splitting (see quoteArgument), so
// the child gets every piece back exactly: one with a space, a tab or a quote, or an empty
// one, is quoted. A separating space goes in front unless `line` is empty.
void appendQuotedPiece(std::wstring& line, const std::wstring& piece);

// The command line of the supervised child: the supervisor's own words (program first), the
// service name, the start arguments and the restart marker. False when the result would not
// fit `capacity` characters with its terminator; the child is then not started rather than
// started with a cut command line.
bool buildChildCommandLine(const std::vector<std::wstring>& ownWords, const std::wstring& serviceName,
                           const std::vector<std::wstring>& startArguments, size_t capacity, std::wstring& line);

// The states the supervisor reports, with their Windows values.
enum class ServiceState : unsigned long {
    Stopped = 1,
    StopPending = 3,
    Running = 4,
};

// The state a stop or shutdown request moves the service to: stop pending, unless the service
// has been reported stopped already (its child could not start while the request was on its
// way); nothing may follow a stopped report.
ServiceState stateAfterStopRequest(ServiceState current);

// The state to report once the child has started: running, unless a stop or shutdown request
// came while the child was being created. That request has been reported as stop pending
// already, and a running report after it would tell the SCM the stop was undone.
ServiceState stateAfterChildStarted(ServiceState current);

// Whether the end of the child is reported as stopped: after a regular end (exit code 0), or
// when a stop was asked for, whatever the code. A child that fails on its own leaves the
// running report standing, so the SCM sees the service process vanish and applies its
// recovery actions.
bool childEndReportsStopped(ServiceState current, unsigned long exitCode);

// Hands the child's input pipe (the shutdown channel) from the service-main thread, which
// creates it, to the control handler, which writes the shutdown line to it, without a lock and
// without losing a request: a stop or shutdown that comes before the channel exists is
// remembered, and the publisher learns of it instead of storing the channel. Exactly one
// caller ever receives the channel. The channel is an opaque handle here.
class ShutdownChannelSlot {
public:
    enum class Publish {
        Stored,                // the channel is in the slot; a later request takes it
        StopAlreadyRequested,  // a request came first: the channel stays with the caller
    };
    enum class Take {
        Channel,       // the request got the channel and sends the line
        Remembered,    // no channel yet: the request is kept for the publisher
        AlreadyTaken,  // an earlier request has it (or had it), or it was withdrawn
    };

    Publish publish(void* channel);
    Take takeForStop(void*& channel);
    // The stored channel back to the publisher (its child did not start), or null when a
    // request took it first.
    void* withdraw();

private:
    enum State : int { Empty, StopRequested, Holding, Handed, Withdrawn };
    std::atomic<int> state_{Empty};
    // Written by the publisher before the state says Holding, read only by whoever moves the
    // state away from Holding: the state's ordering makes the read see the write.
    void* channel_ = nullptr;
};
