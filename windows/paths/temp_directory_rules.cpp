#include "paths/temp_directory_rules.h"

#include "core/log.h"
#include "core/text_format.h"
#include "core/text_helpers.h"

// Candidates 1-4 want a temp directory whose long form is exact; 5-9 are fixed system places
// tried without that demand; 10-12 repeat the first sources and accept what 1-3 refused for
// their long form alone (a directory with characters outside the code page is then used
// through its short form).
const TempCandidate kTempCandidates[kTempCandidateCount] = {
    {TempSource::TempPath, {true, true}, {true, true}, true},
    {TempSource::UserProfileTemp, {false, true}, {false, true}, true},
    {TempSource::HomeDrivePath, {false, true}, {false, true}, true},
    {TempSource::CommonAppData, {true, true}, {true, true}, true},
    {TempSource::WindowsTemp, {false, false}, {false, false}, false},
    {TempSource::CTemp, {false, false}, {false, false}, false},
    {TempSource::CTmp, {false, false}, {false, false}, false},
    {TempSource::WindowsDirectory, {false, false}, {false, false}, false},
    {TempSource::CTmp, {true, false}, {true, false}, false},
    {TempSource::TempPath, {true, false}, {true, false}, true},
    {TempSource::UserProfileTemp, {false, false}, {false, false}, true},
    {TempSource::HomeDrivePath, {false, false}, {false, false}, true},
};

namespace {

// Folding to precomposed characters must not change the length: a path that holds
// decomposed characters would otherwise name something else once the file system or the
// Java side normalises it.
bool foldsUnchanged(TempSystem& system, const std::wstring& path, const wchar_t* errorFormat) {
    std::wstring folded;
    bool ok = system.foldPrecomposed(path, folded);
    if (ok && folded.size() == path.size()) return true;
    logLine(errorFormat, folded.c_str(), static_cast<int>(folded.size()), path.c_str(), static_cast<int>(path.size()));
    return false;
}

}  // namespace

bool checkNarrowCandidate(TempSystem& system, std::string& path, TempCheck check, bool preferLong) {
    if (path.empty()) return false;
    if (check.create) system.makeDirectory(path);
    if (check.longCheck || preferLong) {
        std::string longPath;
        // A long form that cannot be had does not reject the candidate: the probe decides.
        if (system.longForm(path, longPath)) {
            if (longPath.find('?') != std::string::npos) {
                if (check.longCheck) return false;
            } else if (preferLong && longPath.size() < kTempPathCapacity && longPath != path) {
                logLine(L"using long path %S", longPath.c_str());
                path = longPath;
            }
        }
    }
    return system.probe(path);
}

bool checkWideCandidate(TempSystem& system, const std::wstring& path, TempCheck check) {
    if (path.empty()) return false;
    if (check.create) system.makeDirectory(path);
    if (!foldsUnchanged(system, path, L"folding error %s %d %s %d")) return false;
    if (check.longCheck) {
        std::wstring longPath;
        if (system.longForm(path, longPath)) {
            if (longPath.find(L'?') != std::wstring::npos) return false;
            if (!foldsUnchanged(system, longPath, L"folding error2 %s %d %s %d")) return false;
        }
    }
    return system.probe(path);
}

TempChoice chooseTempDirectoryWith(TempSystem& system, bool preferLong) {
    TempChoice choice;
    for (const TempCandidate& candidate : kTempCandidates) {
        std::string narrow = system.narrowPath(candidate.source);
        if (!checkNarrowCandidate(system, narrow, candidate.narrow, preferLong && candidate.honoursPreferLong))
            continue;
        std::wstring wide = system.widePath(candidate.source);
        if (!checkWideCandidate(system, wide, candidate.wide)) continue;
        choice.found = true;
        choice.source = candidate.source;
        choice.narrow = narrow;
        choice.wide = wide;
        break;
    }
    return choice;
}

std::string probeDirectoryName(const std::string& directory, unsigned long processId, int random) {
    return directory + "\\rvltw" + std::to_string(processId) + std::to_string(random);
}

std::wstring probeDirectoryName(const std::wstring& directory, unsigned long processId, int random) {
    return directory + L"\\rvltw" + decimalText(processId) + decimalText(random);
}

bool isDriveRootFolder(TempSource source) { return source == TempSource::CTemp || source == TempSource::CTmp; }
