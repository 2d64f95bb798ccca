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
    while (numberedNameTaken(result.creation.error) && result.counter < kHighestInstanceCounter) {
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

NameOwner classifyNameOwner(const std::string& ownerSid, const std::string& ownSid) {
    if (ownerSid.empty()) return NameOwner::OtherAccount;
    if (ownerSid == ownSid) return NameOwner::ThisAccount;
    if (ownerSid == "S-1-5-18" || ownerSid == "S-1-5-32-544") return NameOwner::Trusted;
    return NameOwner::OtherAccount;
}

NameVerdict judgeSingleName(unsigned long creationError, NameOwner owner) {
    // An object this account may not even open was not made by one of its instances, which
    // create it with the default security of this account.
    if (creationError == kNameAccessDenied) return NameVerdict::HeldByAnotherAccount;
    if (creationError != kNameAlreadyExists) return NameVerdict::FirstInstance;
    return owner == NameOwner::OtherAccount ? NameVerdict::HeldByAnotherAccount : NameVerdict::AnotherInstanceRuns;
}

std::string accountSemaphoreName(const std::string& sharedName, const std::string& ownSid, size_t capacity) {
    if (ownSid.empty()) return std::string();
    std::string name = sharedName + "_" + ownSid;
    return name.size() + 1 > capacity ? std::string() : name;
}

bool numberedNameTaken(unsigned long creationError) {
    return creationError == kNameAlreadyExists || creationError == kNameAccessDenied;
}
