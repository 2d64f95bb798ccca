// The choice of the temp directory, apart from the system calls it needs: the ordered list
// of candidates, how strictly each one is checked, and the decisions taken on the answers.
// temp_directory_win.cpp supplies the answers from Win32; tests supply them from a fake.
#pragma once

#include "core/capacities.h"

#include <string>

// Where a candidate's path comes from. Each source yields an 8-bit and a wide form.
enum class TempSource {
    TempPath,          // GetTempPathA / GetTempPathW
    UserProfileTemp,   // %USERPROFILE%\AppData\Local\Temp
    HomeDrivePath,     // %HOMEDRIVE%%HOMEPATH%
    CommonAppData,     // common application data folder \quillwork\temp
    WindowsTemp,       // Windows directory \temp
    CTemp,             // c:\temp
    CTmp,              // c:\tmp
    WindowsDirectory,  // the Windows directory itself
};

struct TempCheck {
    bool create;     // make the directory before probing it
    bool longCheck;  // reject the candidate when its long form cannot be represented
};

struct TempCandidate {
    TempSource source;
    TempCheck narrow;
    TempCheck wide;
    // Whether the 8-bit check may switch to the long form when the user prefers long paths.
    // The fallback candidates that name fixed system places never do.
    bool honoursPreferLong;
};

constexpr int kTempCandidateCount = 12;
extern const TempCandidate kTempCandidates[kTempCandidateCount];

// Everything the choice asks of the system. Paths that cannot be had are returned empty.
class TempSystem {
public:
    virtual ~TempSystem() = default;
    virtual std::string narrowPath(TempSource source) = 0;
    virtual std::wstring widePath(TempSource source) = 0;
    virtual void makeDirectory(const std::string& path) = 0;
    virtual void makeDirectory(const std::wstring& path) = 0;
    // The long form of an existing path; false when the system cannot give it.
    virtual bool longForm(const std::string& path, std::string& result) = 0;
    virtual bool longForm(const std::wstring& path, std::wstring& result) = 0;
    // The text folded to precomposed characters; false when folding fails.
    virtual bool foldPrecomposed(const std::wstring& text, std::wstring& result) = 0;
    // Creates, checks and removes one uniquely named subdirectory of `directory`; true only
    // when the creation succeeded and the subdirectory then existed.
    virtual bool probe(const std::string& directory) = 0;
    virtual bool probe(const std::wstring& directory) = 0;
};

struct TempChoice {
    bool found = false;
    TempSource source = TempSource::TempPath;
    std::string narrow;
    std::wstring wide;
};

// The fixed folders at the root of drive C:, which on a default installation every user may
// create files in: usable for the application's temp paths, never for the log.
bool isDriveRootFolder(TempSource source);

// Tries the candidates in order and keeps the first whose 8-bit and wide forms both pass.
TempChoice chooseTempDirectoryWith(TempSystem& system, bool preferLong);

// The 8-bit check of one candidate; `path` may be replaced by its long form.
bool checkNarrowCandidate(TempSystem& system, std::string& path, TempCheck check, bool preferLong);
// The wide check of one candidate.
bool checkWideCandidate(TempSystem& system, const std::wstring& path, TempCheck check);

// Longest long form the 8-bit check will switch to (it lives in buffers of kPathCapacity bytes).
constexpr size_t kTempPathCapacity = kPathCapacity;

// Name of the subdirectory that probes a candidate: "<directory>\rvltw<pid><random>".
std::string probeDirectoryName(const std::string& directory, unsigned long processId, int random);
std::wstring probeDirectoryName(const std::wstring& directory, unsigned long processId, int random);
