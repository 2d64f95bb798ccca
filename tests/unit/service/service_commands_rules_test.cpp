#include "service/service_commands_rules.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(DependencyList, EmptyPiecesDroppedSpacesKept) {
    EXPECT_EQ(dependencyMultiString(L"Tcpip,,My Dep", 6000), std::wstring(L"Tcpip\0My Dep\0\0", 14));
    EXPECT_EQ(dependencyMultiString(L"", 6000), L"");
    EXPECT_EQ(dependencyMultiString(L",,", 6000), L"");
    EXPECT_EQ(dependencyMultiString(L"a", 6000), std::wstring(L"a\0\0", 3));
}

TEST(DependencyList, OverlongListKeepsOnlyWholeNames) {
    EXPECT_EQ(dependencyMultiString(L"abc,defg", 7), std::wstring(L"abc\0\0", 5));
    EXPECT_EQ(dependencyMultiString(L"abcdefgh", 7), L"");
}

TEST(DisplayName, ConfiguredNameShownUnderItsOwnServiceNameOnly) {
    EXPECT_EQ(chooseDisplayName(L"Svc", L"Svc", L""), L"Svc");
    EXPECT_EQ(chooseDisplayName(L"Other", L"Svc", L""), L"Other");
    EXPECT_EQ(chooseDisplayName(L"Svc", L"Svc", L"My Service"), L"My Service");
    // Two services cannot share a display name, so a second installation names itself.
    EXPECT_EQ(chooseDisplayName(L"Other", L"Svc", L"My Service"), L"My Service (Other)");
}

TEST(ServiceAccount, BuiltInAccountsMatchWithoutCaseAndNeedNoPassword) {
    for (const wchar_t* system : {L"", L"LocalSystem", L"localsystem"}) {
        ServiceAccount account = chooseServiceAccount(system);
        EXPECT_EQ(account.kind, AccountKind::LocalSystem) << system;
        EXPECT_EQ(account.objectName, L"");
    }
    for (const wchar_t* local :
         {L"LocalService", L"LOCALSERVICE", L"NT AUTHORITY\\LocalService", L"nt authority\\localservice"}) {
        ServiceAccount account = chooseServiceAccount(local);
        EXPECT_EQ(account.kind, AccountKind::LocalService) << local;
        EXPECT_EQ(account.objectName, L"NT AUTHORITY\\LocalService");
    }
    EXPECT_EQ(chooseServiceAccount(L"networkService").objectName, L"NT AUTHORITY\\NetworkService");
    EXPECT_EQ(chooseServiceAccount(L"NT AUTHORITY\\NetworkService").kind, AccountKind::NetworkService);
    EXPECT_EQ(choosePasswordSource(AccountKind::LocalService, L"PW"), PasswordSource::None);
    EXPECT_EQ(choosePasswordSource(AccountKind::LocalSystem, L""), PasswordSource::None);
}

TEST(ServiceAccount, NamedAccountsNeedDomainAndUserAndTakeTheirPasswordFromVariableOrInput) {
    ServiceAccount local = chooseServiceAccount(L".\\ravel");
    EXPECT_EQ(local.kind, AccountKind::Named);
    EXPECT_EQ(local.objectName, L".\\ravel");
    EXPECT_EQ(chooseServiceAccount(L"CORP\\svc-ravel").kind, AccountKind::Named);
    // A well-known name in another domain is an ordinary account.
    EXPECT_EQ(chooseServiceAccount(L"CORP\\LocalService").kind, AccountKind::Named);
    for (const wchar_t* bad : {L"ravel", L"\\ravel", L"CORP\\", L"a\\b\\c", L"\\", L"LocalSystem2"})
        EXPECT_EQ(chooseServiceAccount(bad).kind, AccountKind::Invalid) << bad;
    EXPECT_EQ(choosePasswordSource(AccountKind::Named, L"SVC_PASSWORD"), PasswordSource::Environment);
    EXPECT_EQ(choosePasswordSource(AccountKind::Named, L""), PasswordSource::StandardInput);
}

TEST(PasswordLine, FirstLineWithoutItsLineEnd) {
    EXPECT_EQ(passwordLine(L"secret\r\nnext\n"), std::optional<std::wstring>(L"secret"));
    EXPECT_EQ(passwordLine(L"se cret\n"), std::optional<std::wstring>(L"se cret"));
    EXPECT_EQ(passwordLine(L"no line end"), std::optional<std::wstring>(L"no line end"));
    // An empty line is an empty password; no input at all is no password.
    EXPECT_EQ(passwordLine(L"\r\n"), std::optional<std::wstring>(L""));
    EXPECT_EQ(passwordLine(L""), std::nullopt);
}

namespace {

std::vector<std::pair<int, uint32_t>> actionsOf(const FailureActionsPlan& plan) {
    std::vector<std::pair<int, uint32_t>> out;
    for (const FailureAction& action : plan.actions) out.emplace_back(action.type, action.delayMilliseconds);
    return out;
}

}  // namespace

TEST(FailureActions, RestartsThenNothingForEveryLaterFailure) {
    RecoverySettings settings;
    settings.restarts = 2;
    settings.restartDelaySeconds = 5;
    settings.resetSeconds = 600;
    std::optional<FailureActionsPlan> plan = planFailureActions(settings);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->resetPeriodSeconds, 600u);
    // The manager repeats the last action for failures beyond the list: "none" ends the restarts.
    EXPECT_EQ(actionsOf(*plan), (std::vector<std::pair<int, uint32_t>>{
                                    {kActionRestart, 5000}, {kActionRestart, 5000}, {kActionNone, 0}}));
}

TEST(FailureActions, NoRestartsConfiguredLeavesTheServiceWithoutActions) {
    EXPECT_FALSE(planFailureActions(RecoverySettings{}));
    RecoverySettings delayOnly;
    delayOnly.restartDelaySeconds = 10;
    delayOnly.resetSeconds = 10;
    EXPECT_FALSE(planFailureActions(delayOnly));
    RecoverySettings none;
    none.restarts = 0;
    EXPECT_FALSE(planFailureActions(none));
    none.restarts = -4;
    EXPECT_FALSE(planFailureActions(none));
}

TEST(FailureActions, AbsentKeysTakeDefaultsAndValuesAreHeldToTheirBounds) {
    RecoverySettings settings;
    settings.restarts = 1;
    std::optional<FailureActionsPlan> plan = planFailureActions(settings);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->resetPeriodSeconds, static_cast<uint32_t>(kDefaultResetSeconds));
    EXPECT_EQ(actionsOf(*plan).front(),
              (std::pair<int, uint32_t>{kActionRestart, kDefaultRestartDelaySeconds * 1000u}));

    settings.restarts = 100000;
    settings.restartDelaySeconds = 2147483647;
    settings.resetSeconds = -1;
    plan = planFailureActions(settings);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->actions.size(), static_cast<size_t>(kMaxRestarts) + 1);
    // The longest delay still fits the manager's 32-bit milliseconds.
    EXPECT_EQ(plan->actions.front().delayMilliseconds, 4294967000u);
    EXPECT_EQ(plan->resetPeriodSeconds, 0u);
    settings.restartDelaySeconds = -30;
    EXPECT_EQ(planFailureActions(settings)->actions.front().delayMilliseconds, 0u);
}

TEST(StartCheck, ServiceStillRunningIsNoFailure) {
    const uint32_t running = 4;
    for (ProcessSeen seen : {ProcessSeen::Running, ProcessSeen::Unknown}) {
        StartCheckOutcome outcome = judgeStartCheck(seen, std::nullopt, {running, 0, 0});
        EXPECT_FALSE(outcome.ended);
        EXPECT_EQ(startCheckResult(outcome), 0);
    }
}

TEST(StartCheck, StoppedServiceGivesTheManagersCodeFirst) {
    // The supervisor could not start the application: its service-specific code.
    StartCheckOutcome outcome = judgeStartCheck(ProcessSeen::Ended, 0u, {kServiceStopped, kServiceSpecificError, 5000});
    EXPECT_TRUE(outcome.ended);
    EXPECT_TRUE(outcome.reportedStop);
    EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(5000));
    EXPECT_EQ(startCheckResult(outcome), 1);
    outcome = judgeStartCheck(ProcessSeen::Unknown, std::nullopt, {kServiceStopped, 1053, 0});
    EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(1053));
    // A regular stop, seen or not: code 0, no failure.
    for (ProcessSeen seen : {ProcessSeen::Ended, ProcessSeen::Unknown}) {
        outcome = judgeStartCheck(seen, 0u, {kServiceStopped, 0, 0});
        EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(0));
        EXPECT_TRUE(outcome.reportedStop);
        EXPECT_EQ(startCheckResult(outcome), 0);
    }
    // Reported stopped, but the process ended with a code of its own.
    outcome = judgeStartCheck(ProcessSeen::Ended, 2u, {kServiceStopped, 0, 0});
    EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(2));
    EXPECT_EQ(startCheckResult(outcome), 1);
}

TEST(StartCheck, EndWithoutAStoppedReportIsAFailureWhateverItsCode) {
    // Windows' manager marks it with 1067; the process's own code is the one to tell.
    StartCheckOutcome outcome = judgeStartCheck(ProcessSeen::Ended, 3u, {kServiceStopped, kProcessAborted, 0});
    EXPECT_FALSE(outcome.reportedStop);
    EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(3));
    outcome = judgeStartCheck(ProcessSeen::Unknown, std::nullopt, {kServiceStopped, kProcessAborted, 0});
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exitCode, std::nullopt);
    EXPECT_EQ(startCheckResult(outcome), 1);
    // Wine's manager still reports running when the process is gone.
    outcome = judgeStartCheck(ProcessSeen::Ended, 0u, {4, 0, 0});
    EXPECT_TRUE(outcome.ended);
    EXPECT_FALSE(outcome.reportedStop);
    EXPECT_EQ(outcome.exitCode, std::optional<uint32_t>(0));
    EXPECT_EQ(startCheckResult(outcome), 1);
}

TEST(SystemReason, MessageTextWithoutItsLineBreakThenTheNumber) {
    EXPECT_EQ(systemReasonLine(L"The specified service does not exist as an installed service.\r\n", 1060),
              L"The specified service does not exist as an installed service. (1060)");
    EXPECT_EQ(systemReasonLine(L"Access is denied. \r\n\r\n", 5), L"Access is denied. (5)");
    EXPECT_EQ(systemReasonLine(L"", 4242), L"Unknown error (4242)");
    EXPECT_EQ(systemReasonLine(L"\r\n", 4242), L"Unknown error (4242)");
}

namespace {

// A file system that holds exactly `files`.
auto filesOnly(std::vector<std::wstring> files) {
    return [files](const std::wstring& path) {
        for (const std::wstring& file : files)
            if (file == path) return true;
        return false;
    };
}

}  // namespace

TEST(ImagePathProgram, QuotedPathEndsAtItsClosingQuoteWhateverExists) {
    auto none = filesOnly({});
    EXPECT_EQ(imagePathProgram(L"\"C:\\Program Files\\app\\app.exe\"", none), L"C:\\Program Files\\app\\app.exe");
    EXPECT_EQ(imagePathProgram(L"  \"C:\\a b\\x.exe\" -k \"arg\"", none), L"C:\\a b\\x.exe");
    // An unclosed quote runs to the end.
    EXPECT_EQ(imagePathProgram(L"\"C:\\a b\\x.exe", none), L"C:\\a b\\x.exe");
}

TEST(ImagePathProgram, UnquotedPathIsTheShortestPrefixAtABlankThatNamesAFile) {
    // The classic unquoted path: C:\Program.exe, when it exists, is what the manager starts.
    const std::wstring path = L"C:\\Program Files\\My App\\app.exe /service";
    EXPECT_EQ(imagePathProgram(path, filesOnly({L"C:\\Program Files\\My App\\app.exe"})),
              L"C:\\Program Files\\My App\\app.exe");
    EXPECT_EQ(imagePathProgram(path, filesOnly({L"C:\\Program.exe", L"C:\\Program Files\\My App\\app.exe"})),
              L"C:\\Program.exe");
    // ".exe" is tried where the last part has no extension, not where it has one.
    EXPECT_EQ(imagePathProgram(L"C:\\tools\\svc -run", filesOnly({L"C:\\tools\\svc.exe"})), L"C:\\tools\\svc.exe");
    EXPECT_EQ(imagePathProgram(L"C:\\tools\\svc.bin\tx", filesOnly({L"C:\\tools\\svc.bin.exe"})),
              L"C:\\tools\\svc.bin");
    // The whole text is a candidate too; with nothing found, the first word.
    EXPECT_EQ(imagePathProgram(L"C:\\a b\\c", filesOnly({L"C:\\a b\\c"})), L"C:\\a b\\c");
    EXPECT_EQ(imagePathProgram(L"C:\\nowhere\\x.exe arg", filesOnly({})), L"C:\\nowhere\\x.exe");
    EXPECT_EQ(imagePathProgram(L"", filesOnly({})), L"");
}

TEST(ImagePathProgram, SeparatorsNormalisedBeforeTheComparison) {
    EXPECT_EQ(separatorsNormalised(L"\\??\\C:\\app\\\\x.exe"), L"C:\\app\\x.exe");
    EXPECT_EQ(separatorsNormalised(L"C:/app//x.exe"), L"C:\\app\\x.exe");
    EXPECT_EQ(separatorsNormalised(L"\\\\server\\share\\\\x.exe"), L"\\\\server\\share\\x.exe");
}
