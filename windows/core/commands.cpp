#include "core/commands.h"

const wchar_t kRestartMarker[] = L"__qwk_restart";

namespace {

struct CommandWord {
    const wchar_t* word;
    Command command;
};

// Compared exactly and case-sensitively: "/Status" is not "/status".
const CommandWord kCommandWords[] = {
    {L"?", Command::Help},
    {L"help", Command::Help},
    {L"install", Command::Install},
    {L"install-and-start", Command::InstallAndStart},
    {L"install-auto", Command::InstallAuto},
    {L"install-demand", Command::InstallDemand},
    {L"uninstall", Command::Uninstall},
    {L"stop", Command::Stop},
    {L"start", Command::Start},
    {L"restart", Command::Restart},
    {L"status", Command::Status},
    {L"run", Command::Run},
    {L"run-redirect", Command::RunRedirect},
};

}  // namespace

CommandChoice chooseCommand(ArgumentList& args) {
    CommandChoice choice;
    // The marker wins over any command word: the child of a service may carry arguments
    // that look like commands.
    if (!args.empty() && args.back() == kRestartMarker) {
        args.pop_back();
        choice.command = Command::RestartChild;
        return choice;
    }
    if (args.empty() || args.front().empty() || (args.front()[0] != L'/' && args.front()[0] != L'-')) return choice;

    choice.hasCommandWord = true;
    std::wstring word = args.front().substr(1);
    if (!word.empty() && word[0] == L'-') word.erase(0, 1);
    args.erase(args.begin());
    if (!args.empty()) {
        choice.hasServiceName = true;
        choice.serviceName = args.front();
    }
    for (const CommandWord& entry : kCommandWords) {
        if (word == entry.word) {
            choice.command = entry.command;
            return choice;
        }
    }
    return choice;
}

DefaultCommand parseDefaultCommand(std::string_view setting) {
    return setting == "run" ? DefaultCommand::Run : DefaultCommand::None;
}

bool runsDefaultCommand(DefaultCommand command, const CommandChoice& choice, unsigned long dispatcherError) {
    return command == DefaultCommand::Run && choice.command == Command::Dispatcher && !choice.hasCommandWord &&
           dispatcherError == kNotStartedByServiceManager;
}

std::wstring usageLine(std::wstring_view modulePath) {
    size_t slash = modulePath.find_last_of(L"\\/");
    std::wstring_view name = slash == std::wstring_view::npos ? modulePath : modulePath.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos) name = name.substr(0, dot);
    return L"Usage: " + std::wstring(name) +
           L".exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect\n";
}
