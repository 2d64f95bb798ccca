#include "service/service_output.h"

#include "config/config_store.h"
#include "core/capacities.h"
#include "core/code_page.h"
#include "core/log.h"
#include "paths/expand_variables.h"
#include "paths/path_helpers.h"

#include <utility>

namespace {

// How much of the file's end is read back for its last lines.
constexpr size_t kTailCapacity = kPathCapacity;

// Appends only, and lets others read the file, and rename or remove it, while it is open: an
// operator may follow the file while the service writes it.
FileHandle openForAppending(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

unsigned long long sizeOf(const FileHandle& file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file.get(), &size) ? static_cast<unsigned long long>(size.QuadPart) : 0;
}

// A rotation step's target may be missing (fewer older files than are kept so far); that is
// no failure. Returns the system error of any other failure, else 0.
DWORD runRotationStep(const RotationStep& step) {
    BOOL done = step.kind == RotationStep::Kind::Remove
                    ? DeleteFileW(step.from.c_str())
                    : MoveFileExW(step.from.c_str(), step.to.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (done) return 0;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

// A child's output is UTF-8 when it is valid UTF-8 (as a Java application configured for it
// writes), else text in the ANSI code page.
std::wstring widenOutputText(const std::string& text) {
    std::wstring wide = widenFromCodePage(text, CP_UTF8, MB_ERR_INVALID_CHARS);
    return wide.empty() ? widenFromCodePage(text, CP_ACP) : wide;
}

}  // namespace

ChildOutputFile::ChildOutputFile(std::wstring path, OutputLimits limits, FileHandle file, unsigned long long size)
    : path_(std::move(path)), limits_(limits), file_(std::move(file)), size_(size) {}

void ChildOutputFile::writeLine(std::string_view line) {
    if (rotationDue(size_, line.size(), limits_.maxBytes)) rotate();
    // A file that could not be opened again after a rotation is tried once more per line.
    if (!file_.valid()) {
        file_ = openForAppending(path_);
        size_ = file_.valid() ? sizeOf(file_) : 0;
    }
    DWORD written = 0;
    if (!file_.valid() || !WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        DWORD error = GetLastError();
        if (!writeFailureLogged_)
            logLine(L"could not write to the output file %s (%d)", path_.c_str(), static_cast<int>(error));
        writeFailureLogged_ = true;
        return;
    }
    size_ += written;
}

void ChildOutputFile::rotate() {
    // Windows renames no file that is open without delete sharing, ours included: it is
    // closed first and opened anew under the same name afterwards.
    file_.reset();
    DWORD failure = 0;
    for (const RotationStep& step : rotationSteps(path_, limits_.keep)) {
        DWORD error = runRotationStep(step);
        if (error != 0 && failure == 0) failure = error;
    }
    file_ = openForAppending(path_);
    size_ = file_.valid() ? sizeOf(file_) : 0;
    if (failure != 0) {
        // The file goes on growing; the next attempt comes after another limit's worth of
        // output rather than before every line.
        logLine(L"could not rotate the output file %s (%d)", path_.c_str(), static_cast<int>(failure));
        size_ = 0;
        return;
    }
    logLine(L"rotated the output file %s", path_.c_str());
}

std::vector<std::wstring> ChildOutputFile::lastLines(size_t count) const {
    FileHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return {};
    unsigned long long size = sizeOf(file);
    unsigned long long start = size > kTailCapacity ? size - kTailCapacity : 0;
    LARGE_INTEGER position = {};
    position.QuadPart = static_cast<LONGLONG>(start);
    if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return {};
    std::string tail(static_cast<size_t>(size - start), '\0');
    DWORD read = 0;
    if (!tail.empty() && !ReadFile(file.get(), tail.data(), static_cast<DWORD>(tail.size()), &read, nullptr)) return {};
    tail.resize(read);
    std::vector<std::wstring> lines;
    for (const std::string& line : ::lastLines(tail, count, start > 0)) lines.push_back(widenOutputText(line));
    return lines;
}

std::unique_ptr<ChildOutputFile> openConfiguredOutputFile() {
    wchar_t configured[kPathCapacity];
    getSettingWide(SettingId::ServiceOutputFile, configured, kPathCapacity);
    if (configured[0] == 0) return nullptr;
    // The wide launcher directory: this path is the supervisor's own and never becomes a JVM
    // option, so it keeps every character the file system can hold.
    expandVariables(configured, kPathCapacity, false);
    wchar_t path[kPathCapacity];
    if (!makeAbsolutePath(path, kPathCapacity, configured, false, true)) return nullptr;
    FileHandle file = openForAppending(path);
    if (!file.valid()) {
        DWORD error = GetLastError();
        logLine(L"could not open the output file %s (%d)", path, static_cast<int>(error));
        return nullptr;
    }
    OutputLimits limits =
        outputLimits(getSettingCopy(SettingId::ServiceOutputMaxBytes), getSettingCopy(SettingId::ServiceOutputKeep));
    unsigned long long size = sizeOf(file);
    logLine(L"output file %s", path);
    return std::make_unique<ChildOutputFile>(path, limits, std::move(file), size);
}
