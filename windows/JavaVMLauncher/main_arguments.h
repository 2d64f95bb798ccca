// The argument list handed to the Java launcher class's main, apart from the JVM: five
// leading arguments describing the application, the launcher's first argument, the
// configured arguments and the remaining command-line arguments.
#pragma once

#include <string>
#include <vector>

struct LeadingArguments {
    bool windowed = false;             // application kind 1
    std::wstring mainClass;            // "/" in front in module mode
    std::wstring firstPath;            // empty when not configured
    std::wstring secondPath;           // empty when not configured
    bool fifthFlag = false;
};

// The five leading arguments as strings, in order.
std::vector<std::wstring> leadingArgumentList(const LeadingArguments& leading);

// Whether a command-line argument goes to main: "-J" arguments become JVM options when
// `jOptionsEnabled`, and "-Dsun.locale.formatasdefault=" arguments never reach main.
bool passesToMain(const std::wstring& argument, bool jOptionsEnabled);

// leading + first launcher argument + configured + the remaining launcher arguments that
// pass to main.
std::vector<std::wstring> mainArgumentList(const LeadingArguments& leading, const std::vector<std::wstring>& launcherArgs,
                                           const std::vector<std::wstring>& configuredArgs, bool jOptionsEnabled);

// The last "-Dsun.locale.formatasdefault=" argument, or empty when there is none.
std::wstring lastLocaleArgument(const std::vector<std::wstring>& launcherArgs);
