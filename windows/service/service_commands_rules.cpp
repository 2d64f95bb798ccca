#include "service/service_commands_rules.h"

#include "core/text_helpers.h"

#include <algorithm>

std::wstring dependencyMultiString(const std::wstring& setting, size_t capacity) {
    std::wstring block;
    size_t start = 0;
    while (start <= setting.size()) {
        size_t comma = setting.find(L',', start);
        std::wstring piece = setting.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        // Room for the piece, its NUL and the final NUL.
        if (!piece.empty() && block.size() + piece.size() + 2 <= capacity) {
            block += piece;
            block += L'\0';
        }
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    if (block.empty()) return block;
    block += L'\0';
    return block;
}

std::wstring chooseDisplayName(std::wstring_view serviceName, std::wstring_view configuredName,
                               std::wstring_view displayNameSetting) {
    if (displayNameSetting.empty()) return std::wstring(serviceName);
    std::wstring display(displayNameSetting);
    if (serviceName != configuredName) display += L" (" + std::wstring(serviceName) + L")";
    return display;
}

namespace {

bool sameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && startsWithIgnoringAsciiCase(a, b);
}

bool isOneOf(std::wstring_view setting, std::wstring_view plain) {
    return sameIgnoringAsciiCase(setting, plain) ||
           sameIgnoringAsciiCase(setting, L"NT AUTHORITY\\" + std::wstring(plain));
}

}  // namespace

ServiceAccount chooseServiceAccount(std::wstring_view setting) {
    if (setting.empty() || sameIgnoringAsciiCase(setting, L"LocalSystem")) return {AccountKind::LocalSystem, L""};
    if (isOneOf(setting, L"LocalService")) return {AccountKind::LocalService, L"NT AUTHORITY\\LocalService"};
    if (isOneOf(setting, L"NetworkService")) return {AccountKind::NetworkService, L"NT AUTHORITY\\NetworkService"};
    size_t slash = setting.find(L'\\');
    bool named = slash != std::wstring_view::npos && slash > 0 && slash + 1 < setting.size() &&
                 setting.find(L'\\', slash + 1) == std::wstring_view::npos;
    if (!named) return {AccountKind::Invalid, L""};
    return {AccountKind::Named, std::wstring(setting)};
}

PasswordSource choosePasswordSource(AccountKind kind, std::wstring_view passwordVariable) {
    if (kind != AccountKind::Named) return PasswordSource::None;
    return passwordVariable.empty() ? PasswordSource::StandardInput : PasswordSource::Environment;
}

std::optional<std::wstring> passwordLine(std::wstring_view text) {
    if (text.empty()) return std::nullopt;
    std::wstring_view line = text.substr(0, text.find(L'\n'));
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
    return std::wstring(line);
}

std::optional<FailureActionsPlan> planFailureActions(const RecoverySettings& settings) {
    int restarts = std::min(settings.restarts.value_or(0), kMaxRestarts);
    if (restarts <= 0) return std::nullopt;
    int delay =
        std::clamp(settings.restartDelaySeconds.value_or(kDefaultRestartDelaySeconds), 0, kMaxRestartDelaySeconds);
    int reset = std::max(settings.resetSeconds.value_or(kDefaultResetSeconds), 0);
    FailureActionsPlan plan;
    plan.resetPeriodSeconds = static_cast<uint32_t>(reset);
    plan.actions.assign(static_cast<size_t>(restarts),
                        FailureAction{kActionRestart, static_cast<uint32_t>(delay) * 1000u});
    plan.actions.push_back(FailureAction{kActionNone, 0});
    return plan;
}

int boundedStartCheckSeconds(int configured) { return std::clamp(configured, 0, kMaxStartCheckSeconds); }

StartCheckOutcome judgeStartCheck(ProcessSeen process, std::optional<uint32_t> processExitCode,
                                  const ServiceSnapshot& service) {
    std::optional<uint32_t> seenCode = process == ProcessSeen::Ended ? processExitCode : std::nullopt;
    if (service.state == kServiceStopped) {
        if (service.win32ExitCode == kProcessAborted) return {true, false, seenCode};
        if (service.win32ExitCode == kServiceSpecificError) return {true, true, service.serviceExitCode};
        if (service.win32ExitCode != 0) return {true, true, service.win32ExitCode};
        return {true, true, process == ProcessSeen::Ended ? processExitCode : std::optional<uint32_t>(0)};
    }
    if (process == ProcessSeen::Ended) return {true, false, processExitCode};
    return {false, false, std::nullopt};
}

int startCheckResult(const StartCheckOutcome& outcome) {
    if (!outcome.ended) return 0;
    return outcome.reportedStop && outcome.exitCode == std::optional<uint32_t>(0) ? 0 : 1;
}

std::wstring systemReasonLine(std::wstring_view messageText, uint32_t error) {
    std::wstring_view text = messageText;
    while (!text.empty() &&
           (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'\t'))
        text.remove_suffix(1);
    std::wstring line = text.empty() ? std::wstring(L"Unknown error") : std::wstring(text);
    return line + L" (" + decimalText(error) + L")";
}

std::wstring eventSourceKeyPath(std::wstring_view serviceName) {
    return L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + std::wstring(serviceName);
}

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The candidate as the system tries it: ".exe" is added when the last path part has no dot.
std::wstring withDefaultExtension(const std::wstring& candidate) {
    size_t lastPart = candidate.find_last_of(L"\\/");
    size_t dot = candidate.find(L'.', lastPart == std::wstring::npos ? 0 : lastPart + 1);
    return dot == std::wstring::npos ? candidate + L".exe" : candidate;
}

}  // namespace

std::wstring imagePathProgram(std::wstring_view imagePath, const std::function<bool(const std::wstring&)>& isFile) {
    size_t start = 0;
    while (start < imagePath.size() && isBlank(imagePath[start])) ++start;
    std::wstring_view text = imagePath.substr(start);
    if (!text.empty() && text.front() == L'"') {
        size_t close = text.find(L'"', 1);
        return std::wstring(text.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1));
    }
    // Every prefix that ends before a blank, then the whole text: the first that names a file
    // is the program, which is how an unquoted path with spaces is read.
    for (size_t end = 0; end <= text.size(); ++end) {
        if (end < text.size() && !isBlank(text[end])) continue;
        if (end == 0) continue;
        std::wstring candidate(text.substr(0, end));
        if (isFile(candidate)) return candidate;
        std::wstring extended = withDefaultExtension(candidate);
        if (extended != candidate && isFile(extended)) return extended;
    }
    size_t firstBlank = 0;
    while (firstBlank < text.size() && !isBlank(text[firstBlank])) ++firstBlank;
    return std::wstring(text.substr(0, firstBlank));
}

std::wstring separatorsNormalised(std::wstring_view path) {
    if (startsWith(path, L"\\??\\")) path.remove_prefix(4);
    std::wstring out;
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = path[i] == L'/' ? L'\\' : path[i];
        bool repeated = c == L'\\' && !out.empty() && out.back() == L'\\' && out.size() > 1;
        if (!repeated) out += c;
    }
    return out;
}
