#include "core/console_output_rules.h"

#include <gtest/gtest.h>

// Wine cannot show every start of a GUI program: a program it starts always has standard
// handles (from the Unix side) or none at all, so a GUI launcher whose standard output is
// redirected while standard error is missing, and the attach request of a process that has
// no console at all but a console parent with redirected handles, are decided here.

namespace {

StandardHandles handles(bool output, bool outputIsConsole, bool error) {
    StandardHandles h;
    h.outputUsable = output;
    h.outputIsConsole = outputIsConsole;
    h.errorUsable = error;
    return h;
}

}  // namespace

TEST(ConsoleOutput, ConsoleLauncherWritesToItsHandlesWhateverTheyAre) {
    StandardHandles nothing = handles(false, false, false);
    EXPECT_FALSE(wantsParentConsole(false, nothing));
    EXPECT_EQ(routeForCommandOutput(false, nothing), TextRoute::StandardHandles);
    EXPECT_EQ(routeForFatalText(false, nothing), TextRoute::StandardHandles);
}

TEST(ConsoleOutput, GuiLauncherLooksForAConsoleOnlyWhenAnOutputHandleIsMissing) {
    EXPECT_FALSE(wantsParentConsole(true, handles(true, false, true)));  // both redirected: kept
    EXPECT_FALSE(wantsParentConsole(true, handles(true, true, true)));
    EXPECT_TRUE(wantsParentConsole(true, handles(true, false, false)));  // "> file" from a console
    EXPECT_TRUE(wantsParentConsole(true, handles(false, false, true)));
    EXPECT_TRUE(wantsParentConsole(true, handles(false, false, false)));  // a double-click
}

TEST(ConsoleOutput, AttachFindsAConsoleWhenItAttachesOrOneIsThereAlready) {
    EXPECT_TRUE(attachFoundConsole(0));
    EXPECT_TRUE(attachFoundConsole(5));    // ERROR_ACCESS_DENIED: attached already
    EXPECT_FALSE(attachFoundConsole(6));   // ERROR_INVALID_HANDLE: the parent has no console
    EXPECT_FALSE(attachFoundConsole(87));  // ERROR_INVALID_PARAMETER: no parent process
}

TEST(ConsoleOutput, GuiCommandOutputNeedsStandardOutputElseABox) {
    EXPECT_EQ(routeForCommandOutput(true, handles(true, false, false)), TextRoute::StandardHandles);
    EXPECT_EQ(routeForCommandOutput(true, handles(true, true, true)), TextRoute::StandardHandles);
    // Standard error alone does not help: the outcome lines belong on standard output.
    EXPECT_EQ(routeForCommandOutput(true, handles(false, false, true)), TextRoute::Box);
    EXPECT_EQ(routeForCommandOutput(true, handles(false, false, false)), TextRoute::Box);
}

TEST(ConsoleOutput, GuiFatalTextNeedsAConsoleOnOutputOrAStandardError) {
    EXPECT_EQ(routeForFatalText(true, handles(true, true, false)), TextRoute::StandardHandles);
    EXPECT_EQ(routeForFatalText(true, handles(false, false, true)), TextRoute::StandardHandles);
    // Output redirected to a file and no standard error: the console writer would put the
    // text on the missing standard error, so it is shown in a box.
    EXPECT_EQ(routeForFatalText(true, handles(true, false, false)), TextRoute::Box);
    EXPECT_EQ(routeForFatalText(true, handles(false, false, false)), TextRoute::Box);
}

TEST(ConsoleOutput, BoxTextDropsOnlyTrailingLineEnds) {
    EXPECT_EQ(textForBox(L"Stopping service 'A'.\nService stopped\n"), L"Stopping service 'A'.\nService stopped");
    EXPECT_EQ(textForBox(L"Usage: a.exe\r\n"), L"Usage: a.exe");
    EXPECT_EQ(textForBox(L"\n"), L"");
    EXPECT_EQ(textForBox(L"a\n\nb"), L"a\n\nb");
}

TEST(ConsoleOutput, OnlyAFailedCommandShowsAnErrorBox) {
    EXPECT_TRUE(commandOutputIsError(1));
    EXPECT_FALSE(commandOutputIsError(0));
    EXPECT_FALSE(commandOutputIsError(3));  // the status command's "Not running."
}
