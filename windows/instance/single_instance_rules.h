// The decisions of the single-instance guard apart from the kernel and the registry: which
// numbered name a side-by-side instance takes, and how long a second instance waits for the
// first one's process id.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// The system error code of a creation that found the name already in use
// (ERROR_ALREADY_EXISTS).
constexpr unsigned long kNameAlreadyExists = 183;

// The highest counter a side-by-side instance tries.
constexpr long kHighestInstanceCounter = 100000;

// Retries of the process id read and the pause before each.
constexpr int kInstancePidRetries = 50;
constexpr unsigned kInstancePidRetryMs = 100;

// One creation of the semaphore: its handle (null when none) and the system error code
// taken right after the call.
struct SemaphoreCreation {
    void* handle = nullptr;
    unsigned long error = 0;
};

struct NumberedSemaphore {
    bool named = false;  // false: not even the name with counter 0 fits
    std::string name;    // the name of `creation`
    long counter = 0;
    SemaphoreCreation creation;
};

// Creates under "prefix + sanitised path + counter" for counter 0, 1, ... while the name
// exists, closing each handle of an existing name, up to counter 100000. The last creation's
// handle is left open: it names this instance, or (when every name is taken, or the next
// counter would not fit `capacity`) it is the handle of the last existing name tried.
NumberedSemaphore createNumberedSemaphore(bool global, const std::string& canonicalPath, size_t capacity,
                                          const std::function<SemaphoreCreation(const std::string& name)>& create,
                                          const std::function<void(void* handle)>& close);

// Reads the other instance's process id; while it is 0, retries up to 50 times, pausing
// 100 ms before each retry. Returns the last value read (0 when none was found).
unsigned long waitForInstancePid(const std::function<unsigned long()>& readPid,
                                 const std::function<void(unsigned milliseconds)>& pause);
