#include "core/commands.h"

#include <gtest/gtest.h>

namespace {

CommandChoice choose(ArgumentList args, ArgumentList* rest = nullptr) {
    CommandChoice c = chooseCommand(args);
    if (rest != nullptr) *rest = args;
    return c;
}

}  // namespace

TEST(Commands, SlashDashAndDoubleDashAreTheSameWord) {
    for (const wchar_t* word : {L"/status", L"-status", L"--status"})
        EXPECT_EQ(choose({word}).command, Command::Status) << word;
    EXPECT_EQ(choose({L"/?"}).command, Command::Help);
    EXPECT_EQ(choose({L"-help"}).command, Command::Help);
    EXPECT_EQ(choose({L"/install-and-start"}).command, Command::InstallAndStart);
    EXPECT_EQ(choose({L"/run-redirect"}).command, Command::RunRedirect);
}

TEST(Commands, WordsAreCaseSensitiveAndUnknownOnesGoToTheDispatcher) {
    EXPECT_EQ(choose({L"/Status"}).command, Command::Dispatcher);
    EXPECT_EQ(choose({L"/Help"}).command, Command::Dispatcher);
    EXPECT_EQ(choose({L"---status"}).command, Command::Dispatcher);
    EXPECT_EQ(choose({L"status"}).command, Command::Dispatcher);
    EXPECT_EQ(choose({}).command, Command::Dispatcher);
    EXPECT_EQ(choose({L""}).command, Command::Dispatcher);
}

TEST(Commands, ArgumentAfterTheWordNamesTheServiceAndStaysInTheList) {
    ArgumentList rest;
    CommandChoice c = choose({L"/install", L"MyService"}, &rest);
    EXPECT_EQ(c.command, Command::Install);
    EXPECT_TRUE(c.hasServiceName);
    EXPECT_EQ(c.serviceName, L"MyService");
    EXPECT_EQ(rest, (ArgumentList{L"MyService"}));

    c = choose({L"/install"}, &rest);
    EXPECT_FALSE(c.hasServiceName);
    EXPECT_TRUE(rest.empty());

    c = choose({L"/run", L"a", L"b"}, &rest);
    EXPECT_EQ(c.command, Command::Run);
    EXPECT_EQ(c.serviceName, L"a");
    EXPECT_EQ(rest, (ArgumentList{L"a", L"b"}));
}

TEST(Commands, RestartMarkerWinsOverACommandWord) {
    ArgumentList rest;
    CommandChoice c = choose({L"/install", L"Svc", L"__qwk_restart"}, &rest);
    EXPECT_EQ(c.command, Command::RestartChild);
    EXPECT_FALSE(c.hasServiceName);
    EXPECT_EQ(rest, (ArgumentList{L"/install", L"Svc"}));
    // Only the exact last argument counts.
    EXPECT_EQ(choose({L"__qwk_restart", L"x"}).command, Command::Dispatcher);
    EXPECT_EQ(choose({L"/run", L"__QWK_RESTART"}).command, Command::Run);
}

TEST(Commands, UsageLineUsesTheBaseNameWithoutExtension) {
    EXPECT_EQ(usageLine(L"C:\\Program Files\\My App\\tool.exe"),
              L"Usage: tool.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n");
    EXPECT_EQ(usageLine(L"C:\\a.b\\svc.v2.exe").substr(0, 17), L"Usage: svc.v2.exe");
    EXPECT_EQ(usageLine(L"plain").substr(0, 16), L"Usage: plain.exe");
}

TEST(Commands, OnlyTheWordRunSelectsARunAsDefaultCommand) {
    EXPECT_EQ(parseDefaultCommand("run"), DefaultCommand::Run);
    for (const char* other : {"", "none", "Run", "run ", "/run", "run-redirect"})
        EXPECT_EQ(parseDefaultCommand(other), DefaultCommand::None) << other;
}

TEST(Commands, DefaultCommandRunsOnlyWithoutCommandWordOutsideTheServiceManager) {
    ArgumentList none;
    ArgumentList document{L"C:\\docs\\letter.txt"};
    ArgumentList unknownWord{L"/Help"};
    ArgumentList lone{L"/"};
    CommandChoice bare = chooseCommand(none);
    CommandChoice withDocument = chooseCommand(document);
    EXPECT_TRUE(runsDefaultCommand(DefaultCommand::Run, bare, kNotStartedByServiceManager));
    EXPECT_TRUE(runsDefaultCommand(DefaultCommand::Run, withDocument, kNotStartedByServiceManager));
    EXPECT_EQ(document, (ArgumentList{L"C:\\docs\\letter.txt"}));  // handed on unchanged
    // A word that looks like a command is a mistake of the user's, not a request to run.
    EXPECT_FALSE(runsDefaultCommand(DefaultCommand::Run, chooseCommand(unknownWord), kNotStartedByServiceManager));
    EXPECT_FALSE(runsDefaultCommand(DefaultCommand::Run, chooseCommand(lone), kNotStartedByServiceManager));
    // The dispatcher ran the service (0), or failed for another reason (invalid data, 13).
    EXPECT_FALSE(runsDefaultCommand(DefaultCommand::Run, bare, 0));
    EXPECT_FALSE(runsDefaultCommand(DefaultCommand::Run, bare, 13));
    EXPECT_FALSE(runsDefaultCommand(DefaultCommand::None, bare, kNotStartedByServiceManager));
}
