#include "service/event_log_rules.h"

#include <gtest/gtest.h>

TEST(EventLogEntry, SaysHowTheApplicationFailed) {
    using Kind = ChildFailure::Kind;
    EXPECT_EQ(childFailureEntry(L"My App", {Kind::Ended, 3}, L"", {}),
              L"The application of the service 'My App' ended with exit code 3.");
    EXPECT_EQ(childFailureEntry(L"Svc", {Kind::Ended, 0xC0000005ul}, L"", {}),
              L"The application of the service 'Svc' ended with exit code 3221225477 (0xC0000005).");
    EXPECT_EQ(childFailureEntry(L"Svc", {Kind::NotStarted, 87}, L"", {}),
              L"The service 'Svc' could not start its application (system error 87).");
}

TEST(EventLogEntry, QuotesTheOutputFileOnlyWhenThereIsOneWithLines) {
    using Kind = ChildFailure::Kind;
    EXPECT_EQ(childFailureEntry(L"Svc", {Kind::Ended, 1}, L"C:\\app\\out.log", {L"starting", L"Exception: boom"}),
              L"The application of the service 'Svc' ended with exit code 1.\r\n\r\n"
              L"Last lines of C:\\app\\out.log:\r\nstarting\r\nException: boom");
    EXPECT_EQ(childFailureEntry(L"Svc", {Kind::Ended, 1}, L"C:\\app\\out.log", {}),
              L"The application of the service 'Svc' ended with exit code 1.");
    EXPECT_EQ(childFailureEntry(L"Svc", {Kind::Ended, 1}, L"", {L"ignored"}),
              L"The application of the service 'Svc' ended with exit code 1.");
}
