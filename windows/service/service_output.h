// The file the supervisor keeps the child's standard output and error in, when the service is
// configured with one ([service] output_file); without it the output is read and dropped.
#pragma once

#include "core/handles.h"
#include "service/service_output_rules.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class ChildOutputFile {
public:
    ChildOutputFile(std::wstring path, OutputLimits limits, FileHandle file, unsigned long long size);

    const std::wstring& path() const { return path_; }

    // Appends `line` with one write, so that it is in the file as soon as it is complete,
    // rotating the file first when the line would take it past its limit. Only the drain
    // thread writes. A failed write or rotation is logged (the first failed write only) and
    // the output goes on: the service never stops for its output file.
    void writeLine(std::string_view line);

    // The last `count` lines of the file as it is now, widened (UTF-8 when the bytes are
    // valid UTF-8, else the ANSI code page); none when it cannot be read.
    std::vector<std::wstring> lastLines(size_t count) const;

private:
    void rotate();

    std::wstring path_;
    OutputLimits limits_;
    FileHandle file_;
    unsigned long long size_;
    bool writeFailureLogged_ = false;
};

// The configured output file opened for appending: the setting's variables expanded and the
// path resolved against the launcher's directory. None when no output file is configured, or
// when it cannot be opened (logged: the output is then dropped as without the setting).
std::unique_ptr<ChildOutputFile> openConfiguredOutputFile();
