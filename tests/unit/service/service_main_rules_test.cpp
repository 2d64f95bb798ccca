#include "service/service_main_rules.h"

#include "core/command_line.h"
#include "core/commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(ChildCommandLine, PiecesWithSpacesAreQuotedPlainOnesNot) {
    std::wstring line;
    ASSERT_TRUE(buildChildCommandLine({L"C:\\Program Files\\app\\app.exe"}, L"My App", {L"a", L"x y"}, 12000, line));
    EXPECT_EQ(line, L"\"C:\\Program Files\\app\\app.exe\" \"My App\" a \"x y\" __qwk_restart");
    ASSERT_TRUE(buildChildCommandLine({L"C:\\app\\app.exe", L"extra word"}, L"Svc", {}, 12000, line));
    EXPECT_EQ(line, L"C:\\app\\app.exe Svc \"extra word\" __qwk_restart");
}

TEST(ChildCommandLine, TheChildSplitsBackEveryPieceAndTheMarkerStaysLast) {
    // Quotes, tabs, empty pieces and backslashes in the name and the start arguments: the
    // child's own splitting must give back exactly what the supervisor was handed, with the
    // restart marker still the last word.
    const std::vector<std::wstring> own = {L"C:\\Program Files\\app\\app.exe", L"own \"word\""};
    const std::wstring name = L"Svc \"quoted\"";
    const std::vector<std::wstring> start = {L"a\"b", L"", L"tab\there", L"\"", L"dir\\", L"-J-Dx=y", L"\u00e9 \u65e5"};
    std::wstring line;
    ASSERT_TRUE(buildChildCommandLine(own, name, start, 12000, line));
    std::vector<std::wstring> expected = {own[0], name, own[1]};
    expected.insert(expected.end(), start.begin(), start.end());
    expected.push_back(kRestartMarker);
    EXPECT_EQ(splitCommandLine(line), expected) << line;
    // An empty program still takes the first word.
    ASSERT_TRUE(buildChildCommandLine({}, L"Svc", {L"a\"b"}, 12000, line));
    EXPECT_EQ(splitCommandLine(line), (std::vector<std::wstring>{L"", L"Svc", L"a\"b", kRestartMarker}));
}

TEST(ChildCommandLine, TooLongIsRefusedNotCut) {
    std::wstring line = L"before";
    std::wstring program = L"p.exe";
    std::wstring name(11979, L'n');
    // "p.exe" + " " + name + " __qwk_restart" is 11999 characters: fits with its terminator.
    ASSERT_TRUE(buildChildCommandLine({program}, name, {}, 12000, line));
    EXPECT_EQ(line.size(), 11999u);
    line = L"before";
    EXPECT_FALSE(buildChildCommandLine({program}, name + L"n", {}, 12000, line));
    EXPECT_EQ(line, L"before");
}

TEST(ServiceName, FirstArgumentOrUnknown) {
    wchar_t name[] = L"My App";
    wchar_t empty[] = L"";
    wchar_t* named[] = {name, nullptr};
    wchar_t* emptyName[] = {empty};
    wchar_t* missing[] = {nullptr};
    EXPECT_STREQ(chooseServiceName(1, named, 6000), L"My App");
    EXPECT_STREQ(chooseServiceName(0, named, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(1, emptyName, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(1, missing, 6000), L"unknown");
    EXPECT_STREQ(chooseServiceName(0, nullptr, 6000), L"unknown");
}

TEST(ServiceName, NameThatDoesNotFitIsRefusedNotCut) {
    std::wstring fits(5999, L'n');
    std::wstring tooLong(6000, L'n');
    wchar_t* fitting[] = {fits.data()};
    wchar_t* overlong[] = {tooLong.data()};
    EXPECT_EQ(chooseServiceName(1, fitting, 6000), fits.data());
    EXPECT_STREQ(chooseServiceName(1, overlong, 6000), L"unknown");
}

TEST(ReportedState, AStopRequestNeverFollowsAStoppedReport) {
    EXPECT_EQ(stateAfterStopRequest(ServiceState::Running), ServiceState::StopPending);
    EXPECT_EQ(stateAfterStopRequest(ServiceState::StopPending), ServiceState::StopPending);
    EXPECT_EQ(stateAfterStopRequest(ServiceState::Stopped), ServiceState::Stopped);
}

TEST(ReportedState, StopDuringChildCreationIsNotUndoneByTheRunningReport) {
    EXPECT_EQ(stateAfterChildStarted(ServiceState::Running), ServiceState::Running);
    EXPECT_EQ(stateAfterChildStarted(ServiceState::StopPending), ServiceState::StopPending);
}

TEST(ReportedState, ChildEndIsReportedStoppedAfterARegularEndOrARequestedStop) {
    EXPECT_TRUE(childEndReportsStopped(ServiceState::Running, 0));
    EXPECT_TRUE(childEndReportsStopped(ServiceState::StopPending, 0));
    EXPECT_TRUE(childEndReportsStopped(ServiceState::StopPending, 3));
    // A failure on its own leaves the running report for the SCM's recovery to act on.
    EXPECT_FALSE(childEndReportsStopped(ServiceState::Running, 3));
    EXPECT_FALSE(childEndReportsStopped(ServiceState::Running, 0xC0000005ul));
}

namespace {

int channelToken;
void* const kChannel = &channelToken;

}  // namespace

TEST(ShutdownChannel, ARequestBeforeTheChannelExistsIsRememberedAndToldToThePublisher) {
    ShutdownChannelSlot slot;
    void* taken = nullptr;
    EXPECT_EQ(slot.takeForStop(taken), ShutdownChannelSlot::Take::Remembered);
    EXPECT_EQ(slot.publish(kChannel), ShutdownChannelSlot::Publish::StopAlreadyRequested);
    // The channel stayed with the publisher: nobody can take it, and a second request is
    // not remembered twice.
    EXPECT_EQ(slot.takeForStop(taken), ShutdownChannelSlot::Take::AlreadyTaken);
    EXPECT_EQ(taken, nullptr);
    EXPECT_EQ(slot.withdraw(), nullptr);
}

TEST(ShutdownChannel, OnlyTheFirstRequestGetsAStoredChannel) {
    ShutdownChannelSlot slot;
    EXPECT_EQ(slot.publish(kChannel), ShutdownChannelSlot::Publish::Stored);
    void* taken = nullptr;
    EXPECT_EQ(slot.takeForStop(taken), ShutdownChannelSlot::Take::Channel);
    EXPECT_EQ(taken, kChannel);
    void* again = nullptr;
    EXPECT_EQ(slot.takeForStop(again), ShutdownChannelSlot::Take::AlreadyTaken);
    EXPECT_EQ(again, nullptr);
    // The publisher cannot get back (and close) what a request is writing to.
    EXPECT_EQ(slot.withdraw(), nullptr);
}

TEST(ShutdownChannel, AWithdrawnChannelIsNoRequestsAnyMore) {
    ShutdownChannelSlot slot;
    EXPECT_EQ(slot.publish(kChannel), ShutdownChannelSlot::Publish::Stored);
    EXPECT_EQ(slot.withdraw(), kChannel);
    void* taken = nullptr;
    EXPECT_EQ(slot.takeForStop(taken), ShutdownChannelSlot::Take::AlreadyTaken);
    EXPECT_EQ(taken, nullptr);
}

// The publisher and a request released together on two threads, many times over: whatever
// the order, the stop is never lost (the request gets the channel, or the publisher learns of
// the request) and the channel never goes to both.
TEST(ShutdownChannel, RacingRequestAndPublisherNeverLoseTheStop) {
    using Take = ShutdownChannelSlot::Take;
    constexpr int kRounds = 20000;
    std::vector<ShutdownChannelSlot> slots(kRounds);
    std::vector<ShutdownChannelSlot::Publish> published(kRounds);
    std::vector<Take> taken(kRounds);
    std::vector<void*> channels(kRounds, nullptr);
    // Both threads wait at each round's start until the other has arrived, so the two calls
    // of a round begin as close together as the machine allows.
    std::atomic<int> arrived[2] = {{0}, {0}};
    auto startRound = [&arrived](int self, int round) {
        arrived[self].store(round + 1);
        while (arrived[1 - self].load() < round + 1) {
        }
    };
    std::thread publisher([&] {
        for (int round = 0; round < kRounds; ++round) {
            startRound(0, round);
            published[round] = slots[round].publish(kChannel);
        }
    });
    std::thread requester([&] {
        for (int round = 0; round < kRounds; ++round) {
            startRound(1, round);
            taken[round] = slots[round].takeForStop(channels[round]);
        }
    });
    publisher.join();
    requester.join();
    for (int round = 0; round < kRounds; ++round) {
        if (published[round] == ShutdownChannelSlot::Publish::Stored) {
            ASSERT_EQ(taken[round], Take::Channel) << "round " << round;
            ASSERT_EQ(channels[round], kChannel) << "round " << round;
        } else {
            ASSERT_EQ(taken[round], Take::Remembered) << "round " << round;
        }
    }
}
