#include "instance/single_instance_rules.h"

#include "instance/semaphore_name.h"
#include "instance/single_instance.h"

// Written once by singleInstanceGuard on the main thread before the JVM thread exists; read
// by the JVM option assembly afterwards.
char semaphoreName[kSemaphoreNameCapacity];

NumberedSemaphore createNumberedSemaphore(bool global, const std::string& canonicalPath, size_t capacity,
                                          const std::function<SemaphoreCreation(const std::string& name)>& create,
                                          const std::function<void(void* handle)>& close) {
    NumberedSemaphore result;
    if (!buildSemaphoreName(global, canonicalPath, 0, capacity, result.name)) return result;
    result.named = true;
    result.creation = create(result.name);
    while (result.creation.error == kNameAlreadyExists && result.counter < kHighestInstanceCounter) {
        std::string next;
        // A counter with one more digit may no longer fit; the existing name then stays as
        // the last one tried, as when every counter is taken.
        if (!buildSemaphoreName(global, canonicalPath, result.counter + 1, capacity, next)) break;
        close(result.creation.handle);
        ++result.counter;
        result.name = next;
        result.creation = create(result.name);
    }
    return result;
}

unsigned long waitForInstancePid(const std::function<unsigned long()>& readPid,
                                 const std::function<void(unsigned milliseconds)>& pause) {
    unsigned long pid = readPid();
    for (int retry = 0; pid == 0 && retry < kInstancePidRetries; ++retry) {
        pause(kInstancePidRetryMs);
        pid = readPid();
    }
    return pid;
}
