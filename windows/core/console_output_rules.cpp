#include "core/console_output_rules.h"

namespace {

// The value of ERROR_ACCESS_DENIED, which the attach request returns for a process that is
// attached to a console already (Wine gives a GUI child its parent's console at creation).
constexpr unsigned long kAlreadyAttached = 5;

}  // namespace

bool wantsParentConsole(bool guiSubsystem, const StandardHandles& before) {
    return guiSubsystem && !(before.outputUsable && before.errorUsable);
}

bool attachFoundConsole(unsigned long attachError) { return attachError == 0 || attachError == kAlreadyAttached; }

TextRoute routeForCommandOutput(bool guiSubsystem, const StandardHandles& handles) {
    if (!guiSubsystem || handles.outputUsable) return TextRoute::StandardHandles;
    return TextRoute::Box;
}

TextRoute routeForFatalText(bool guiSubsystem, const StandardHandles& handles) {
    if (!guiSubsystem) return TextRoute::StandardHandles;
    // The console writer's own choice: a console on standard output, else standard error.
    bool reachable = handles.outputIsConsole || handles.errorUsable;
    return reachable ? TextRoute::StandardHandles : TextRoute::Box;
}

std::wstring textForBox(std::wstring_view collectedOutput) {
    size_t end = collectedOutput.size();
    while (end > 0 && (collectedOutput[end - 1] == L'\n' || collectedOutput[end - 1] == L'\r')) --end;
    return std::wstring(collectedOutput.substr(0, end));
}

bool commandOutputIsError(int exitCode) { return exitCode == 1; }
