#include "JavaVMLauncher/main_arguments.h"

namespace {

const wchar_t kLocaleArgument[] = L"-Dsun.locale.formatasdefault=";

bool startsWith(const std::wstring& text, const std::wstring& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

}  // namespace

std::vector<std::wstring> leadingArgumentList(const LeadingArguments& leading) {
    return {leading.windowed ? L"true" : L"false", leading.mainClass, leading.firstPath, leading.secondPath,
            leading.fifthFlag ? L"true" : L"false"};
}

bool passesToMain(const std::wstring& argument, bool jOptionsEnabled) {
    if (jOptionsEnabled && startsWith(argument, L"-J")) return false;
    return !startsWith(argument, kLocaleArgument);
}

std::vector<std::wstring> mainArgumentList(const LeadingArguments& leading, const std::vector<std::wstring>& launcherArgs,
                                           const std::vector<std::wstring>& configuredArgs, bool jOptionsEnabled) {
    std::vector<std::wstring> list = leadingArgumentList(leading);
    if (!launcherArgs.empty()) list.push_back(launcherArgs.front());
    list.insert(list.end(), configuredArgs.begin(), configuredArgs.end());
    for (size_t i = 1; i < launcherArgs.size(); ++i)
        if (passesToMain(launcherArgs[i], jOptionsEnabled)) list.push_back(launcherArgs[i]);
    return list;
}

std::wstring lastLocaleArgument(const std::vector<std::wstring>& launcherArgs) {
    std::wstring last;
    for (const std::wstring& a : launcherArgs)
        if (startsWith(a, kLocaleArgument)) last = a;
    return last;
}
