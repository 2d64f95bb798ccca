#include "config/launcher_file.h"

#include <utility>

LauncherFileSource::LauncherFileSource(FileHandle file) : file_(std::move(file)) {
    LARGE_INTEGER size;
    size_ = GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool LauncherFileSource::read(void* buffer, uint32_t count, uint32_t& got, uint32_t& error) {
    DWORD read = 0;
    BOOL ok = ReadFile(file_.get(), buffer, count, &read, nullptr);
    error = ok ? 0 : GetLastError();
    got = read;
    position_ += read;
    return ok != FALSE;
}

bool LauncherFileSource::seek(uint64_t offset) {
    if (offset > size_) return false;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), distance, nullptr, FILE_BEGIN)) return false;
    position_ = offset;
    return true;
}
