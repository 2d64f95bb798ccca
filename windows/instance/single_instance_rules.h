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
// ... and of one that found it in use but could not open it (ERROR_ACCESS_DENIED).
constexpr unsigned long kNameAccessDenied = 5;

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

// Who created the object that an existing single-instance name belongs to.
//
// Object names are not protected: any account may create any name in the machine-wide
// "Global\" namespace, and every service account shares the "Local\" namespace of session 0
// with the others. So the name alone cannot tell a running instance from an object that
// another account created first to keep the application, or the service, from ever starting.
// The object's owner can: an account can only make itself (or a group it is in) the owner,
// so an object owned by this account, by LocalSystem or by the Administrators group was made
// by an instance, or by someone who could stop the application anyway.
enum class NameOwner {
    ThisAccount,   // the owner is this process's user
    Trusted,       // LocalSystem (S-1-5-18) or the Administrators group (S-1-5-32-544)
    OtherAccount,  // anyone else, or an owner that could not be read
};
NameOwner classifyNameOwner(const std::string& ownerSid, const std::string& ownSid);

enum class NameVerdict {
    FirstInstance,         // the name is new (or could not be created at all): run
    AnotherInstanceRuns,   // an instance of this account (or a trusted one) holds it
    HeldByAnotherAccount,  // the name exists but is not an instance's: do not give way to it
};
// The verdict on one creation: `creationError` is the system's code right after it, `owner`
// (read only when the name existed) who made the object.
NameVerdict judgeSingleName(unsigned long creationError, NameOwner owner);

// The name this account falls back to when the shared one is held by another account: the
// shared name followed by "_" and the account's SID. Empty when the account's SID is unknown
// or the name would not fit `capacity` bytes with its terminator.
std::string accountSemaphoreName(const std::string& sharedName, const std::string& ownSid, size_t capacity);

// Whether a side-by-side instance moves on to the next counter after a creation: the name
// is taken, by an instance or by an object it may not open.
bool numberedNameTaken(unsigned long creationError);
