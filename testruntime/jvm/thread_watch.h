// What the VM learns about the thread that creates it: its stack reservation, what its
// creator asked for, and whether it is the process's main thread.
//
// Measuring the reservation alone cannot tell a test what the launcher asked for: Wine gives
// every new thread at least 1 MB of stack, so a 512 KB request measures as 1 MB there. The
// library therefore also watches the requests: when it is loaded it points the host
// executable's import of kernel32 CreateThread at a wrapper that passes every call through
// unchanged (the thread is created suspended and resumed once the request is noted, so the
// note exists before the thread runs) and remembers the stack size and flags per thread id.
// The import is restored when the library is unloaded.
#pragma once

#include <windows.h>

namespace standin {

void watchThreadCreation();
void stopWatchingThreadCreation();

struct StackFacts {
    unsigned long long reservation = 0;  // bytes reserved for the calling thread's stack
    bool requestKnown = false;           // the thread was made through the host's CreateThread
    unsigned long long requestedSize = 0;
    DWORD requestedFlags = 0;
};

StackFacts currentStackFacts();

// The id of the thread that started first in this process (the one that ran the program's
// entry point); 0 when it cannot be found.
DWORD processMainThreadId();

}  // namespace standin
