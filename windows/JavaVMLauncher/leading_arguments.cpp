#include "JavaVMLauncher/leading_arguments.h"

#include "config/config_store.h"

#include <vector>

namespace {

constexpr size_t kMainClassCapacity = 6000;

std::wstring configuredPath(int enabledId, int pathId, const ExpandedSetting& expandedSetting,
                            const MakeAbsolute& makeAbsolute) {
    if (getSettingInt(enabledId) == 0) return std::wstring();
    return resolveLeadingPath(expandedSetting(pathId), makeAbsolute);
}

}  // namespace

std::wstring resolveLeadingPath(const std::wstring& expanded, const MakeAbsolute& makeAbsolute) {
    if (!expanded.empty() && expanded[0] == L'$') return expanded;
    return makeAbsolute(expanded);
}

LeadingArguments leadingArgumentsFromConfiguration(const ExpandedSetting& expandedSetting,
                                                   const MakeAbsolute& makeAbsolute) {
    LeadingArguments leading;
    leading.windowed = getSettingInt(107) == 1;
    std::vector<wchar_t> mainClass(kMainClassCapacity);
    getSettingWide(122, mainClass.data(), mainClass.size());
    leading.mainClass = (getSettingInt(133) != 0 ? L"/" : L"") + std::wstring(mainClass.data());
    leading.firstPath = configuredPath(102, 103, expandedSetting, makeAbsolute);
    leading.secondPath = configuredPath(104, 105, expandedSetting, makeAbsolute);
    leading.fifthFlag = getSettingInt(106) != 0;
    return leading;
}
