// Where a text for the user goes when the launcher is a GUI-subsystem program. Such a program
// gets no console of its own: started from a console program it may attach to its parent's
// console, started from Explorer (a double-click) it has nothing to write to, and started
// with redirected standard handles it writes into them as a console launcher does. A console
// launcher keeps its one behaviour whatever its handles are.
#pragma once

#include <string>
#include <string_view>

// What is known of the standard handles that a text would be written to.
struct StandardHandles {
    bool outputUsable = false;     // standard output is an open handle of a known kind
    bool outputIsConsole = false;  // ... and a console screen buffer
    bool errorUsable = false;      // standard error is an open handle of a known kind
};

enum class TextRoute {
    StandardHandles,  // written as a console launcher writes it
    Box,              // shown in a message box: nothing would ever read the handles
};

// Whether a GUI launcher asks for its parent's console before writing: only when one of the
// two output handles is missing. Redirected handles are kept as they are, so output meant for
// a file or pipe never lands on a console instead.
bool wantsParentConsole(bool guiSubsystem, const StandardHandles& before);

// Whether the attach request found a console: it attached (error 0), or the process had one
// already (ERROR_ACCESS_DENIED). Any other error means there is none to write to.
bool attachFoundConsole(unsigned long attachError);

// The route of a command's output (the usage line, the administration commands' lines), which
// is written to standard output.
TextRoute routeForCommandOutput(bool guiSubsystem, const StandardHandles& handles);

// The route of a fatal text in console presentation, which goes to standard output when that
// is a console and to standard error otherwise.
TextRoute routeForFatalText(bool guiSubsystem, const StandardHandles& handles);

// Command output collected for a box: the lines without the final line feed, which a box
// would show as an empty last line.
std::wstring textForBox(std::wstring_view collectedOutput);

// A box for a command's output warns only when the command failed (exit code 1); "not
// running" (3) and success are information.
bool commandOutputIsError(int exitCode);
