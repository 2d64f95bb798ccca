#include "instance/single_instance_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Named objects of a pretend kernel: each creation gets a fresh handle number and reports
// whether the name was already taken.
struct NameTable {
    std::set<std::string> taken;
    std::vector<std::string> created;
    std::vector<void*> closed;

    SemaphoreCreation create(const std::string& name) {
        created.push_back(name);
        void* handle = reinterpret_cast<void*>(created.size());
        return SemaphoreCreation{handle, taken.count(name) ? kNameAlreadyExists : 0};
    }
};

NumberedSemaphore createIn(NameTable& table, const std::string& path, size_t capacity = 6000) {
    return createNumberedSemaphore(
        false, path, capacity, [&](const std::string& name) { return table.create(name); },
        [&](void* handle) { table.closed.push_back(handle); });
}

}  // namespace

TEST(SideBySide, TheLowestFreeCounterIsTakenAndOnlyTakenNamesAreClosed) {
    NameTable table;
    table.taken = {"Local\\c:_app_x.exe0", "Local\\c:_app_x.exe1", "Local\\c:_app_x.exe3"};
    NumberedSemaphore result = createIn(table, "c:\\app\\x.exe");
    ASSERT_TRUE(result.named);
    EXPECT_EQ(result.name, "Local\\c:_app_x.exe2");
    EXPECT_EQ(result.counter, 2);
    EXPECT_EQ(result.creation.error, 0u);
    EXPECT_EQ(table.created,
              (std::vector<std::string>{"Local\\c:_app_x.exe0", "Local\\c:_app_x.exe1", "Local\\c:_app_x.exe2"}));
    EXPECT_EQ(table.closed, (std::vector<void*>{reinterpret_cast<void*>(1), reinterpret_cast<void*>(2)}));
    EXPECT_EQ(result.creation.handle, reinterpret_cast<void*>(3));
}

TEST(SideBySide, AFreeFirstNameNeedsNoSecondTry) {
    NameTable table;
    NumberedSemaphore result = createIn(table, "c:\\a b\\x.exe");
    EXPECT_EQ(result.name, "Local\\c:_a_b_x.exe0");
    EXPECT_EQ(table.created.size(), 1u);
    EXPECT_TRUE(table.closed.empty());
}

TEST(SideBySide, CountingStopsAtOneHundredThousandKeepingTheLastHandle) {
    NameTable table;
    size_t creations = 0;
    std::vector<void*> closed;
    NumberedSemaphore result = createNumberedSemaphore(
        false, "c:\\x.exe", 6000,
        [&](const std::string&) {
            ++creations;
            return SemaphoreCreation{reinterpret_cast<void*>(creations), kNameAlreadyExists};
        },
        [&](void* handle) { closed.push_back(handle); });
    EXPECT_EQ(result.counter, 100000);
    EXPECT_EQ(result.name, "Local\\c:_x.exe100000");
    EXPECT_EQ(creations, 100001u);
    EXPECT_EQ(closed.size(), 100000u);
    EXPECT_EQ(result.creation.error, kNameAlreadyExists);
    EXPECT_EQ(result.creation.handle, reinterpret_cast<void*>(creations));  // the last one stays open
}

TEST(SideBySide, ACounterThatNoLongerFitsEndsTheSearch) {
    // "Local\" + 5992 characters + "0" fills 5999 bytes; "10" would not fit.
    std::string path(5992, 'p');
    NameTable table;
    table.taken = {"Local\\" + path + "0", "Local\\" + path + "1"};
    NumberedSemaphore result = createIn(table, path);
    ASSERT_TRUE(result.named);
    EXPECT_EQ(result.counter, 2);
    EXPECT_EQ(result.name.size(), 5999u);
    EXPECT_EQ(result.creation.error, 0u);

    table = NameTable();
    for (int i = 0; i <= 9; ++i) table.taken.insert("Local\\" + path + std::to_string(i));
    result = createIn(table, path);
    EXPECT_EQ(result.counter, 9);
    EXPECT_EQ(result.creation.error, kNameAlreadyExists);
    EXPECT_EQ(table.closed.size(), 9u);  // the handle of counter 9 stays open

    table = NameTable();
    result = createIn(table, path + "pp");
    EXPECT_FALSE(result.named);
    EXPECT_TRUE(table.created.empty());
}

TEST(InstancePid, AFoundIdNeedsNoWait) {
    std::vector<unsigned> pauses;
    EXPECT_EQ(waitForInstancePid([] { return 4242ul; }, [&](unsigned ms) { pauses.push_back(ms); }), 4242ul);
    EXPECT_TRUE(pauses.empty());
}

TEST(InstancePid, AnIdWrittenLateIsFoundAfterShortPauses) {
    int reads = 0;
    std::vector<unsigned> pauses;
    unsigned long pid =
        waitForInstancePid([&] { return ++reads < 4 ? 0ul : 77ul; }, [&](unsigned ms) { pauses.push_back(ms); });
    EXPECT_EQ(pid, 77ul);
    EXPECT_EQ(reads, 4);
    EXPECT_EQ(pauses, (std::vector<unsigned>{100, 100, 100}));
}

TEST(InstancePid, AMissingIdIsGivenUpAfterFiftyRetries) {
    int reads = 0;
    unsigned total = 0;
    EXPECT_EQ(waitForInstancePid(
                  [&] {
                      ++reads;
                      return 0ul;
                  },
                  [&](unsigned ms) { total += ms; }),
              0ul);
    EXPECT_EQ(reads, 51);
    EXPECT_EQ(total, 5000u);
}

TEST(SingleName, OnlyAnInstanceOfThisOrATrustedAccountKeepsThisOneFromRunning) {
    const std::string self = "S-1-5-21-1-2-3-1001";
    EXPECT_EQ(classifyNameOwner(self, self), NameOwner::ThisAccount);
    EXPECT_EQ(classifyNameOwner("S-1-5-18", self), NameOwner::Trusted);
    EXPECT_EQ(classifyNameOwner("S-1-5-32-544", self), NameOwner::Trusted);
    EXPECT_EQ(classifyNameOwner("S-1-5-21-1-2-3-1002", self), NameOwner::OtherAccount);
    // An owner that could not be read proves nothing.
    EXPECT_EQ(classifyNameOwner("", self), NameOwner::OtherAccount);
    EXPECT_EQ(classifyNameOwner("", ""), NameOwner::OtherAccount);

    EXPECT_EQ(judgeSingleName(0, NameOwner::OtherAccount), NameVerdict::FirstInstance);
    EXPECT_EQ(judgeSingleName(kNameAlreadyExists, NameOwner::ThisAccount), NameVerdict::AnotherInstanceRuns);
    EXPECT_EQ(judgeSingleName(kNameAlreadyExists, NameOwner::Trusted), NameVerdict::AnotherInstanceRuns);
    // Created first by another account, open to everyone: no instance of ours.
    EXPECT_EQ(judgeSingleName(kNameAlreadyExists, NameOwner::OtherAccount), NameVerdict::HeldByAnotherAccount);
    // Created first by another account and closed to us: no instance of ours either.
    EXPECT_EQ(judgeSingleName(kNameAccessDenied, NameOwner::ThisAccount), NameVerdict::HeldByAnotherAccount);
    // Another failure (a name the system refuses) runs as the first instance, as it always has.
    EXPECT_EQ(judgeSingleName(123, NameOwner::OtherAccount), NameVerdict::FirstInstance);
}

TEST(SingleName, TheAccountsOwnNameAddsItsSidAndIsRefusedRatherThanCut) {
    EXPECT_EQ(accountSemaphoreName("Global\\c:_app_x.exe", "S-1-5-18", 6000), "Global\\c:_app_x.exe_S-1-5-18");
    EXPECT_EQ(accountSemaphoreName("Local\\x", "", 6000), "");
    // "Local\x_S-1-5-18" is 16 characters: it fits 17 bytes, not 16.
    EXPECT_EQ(accountSemaphoreName("Local\\x", "S-1-5-18", 17), "Local\\x_S-1-5-18");
    EXPECT_EQ(accountSemaphoreName("Local\\x", "S-1-5-18", 16), "");
}

TEST(SideBySide, ANameAnotherAccountClosedToUsIsSkippedLikeATakenOne) {
    std::vector<std::string> created;
    NumberedSemaphore result = createNumberedSemaphore(
        false, "c:\\app\\x.exe", 6000,
        [&](const std::string& name) {
            created.push_back(name);
            // Counter 0 is closed to this account: the creation gives no handle.
            if (created.size() == 1) return SemaphoreCreation{nullptr, kNameAccessDenied};
            return SemaphoreCreation{reinterpret_cast<void*>(created.size()), 0};
        },
        [](void*) {});
    EXPECT_EQ(result.name, "Local\\c:_app_x.exe1");
    EXPECT_EQ(result.creation.error, 0u);
    EXPECT_EQ(created.size(), 2u);
}
