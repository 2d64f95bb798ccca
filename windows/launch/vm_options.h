// The VM-options sources as this process has them: the files through the C runtime's wide
// opening, the launcher's variable expansion, the file-system code page, the launcher
// directory, the default file beside the launcher and the runtime's jli.dll for Java
// argument files. The option assembly reads every source with the portable reader of
// vm_options_rules.h over one ProcessOptionFiles.
#pragma once

#include "launch/vm_options_rules.h"

#include <cstdio>
#include <string>

class ProcessOptionFiles final : public OptionFileSystem {
public:
    FILE* openText(const std::wstring& path) override;
    // The volume and file index identify a file however it was named (case, short names,
    // "..", links); when the system cannot tell them, the normalised full path stands in.
    std::string fileIdentity(FILE* file, const wchar_t* path) override;
    bool expand(wchar_t* text, size_t capacity, bool narrowForms) override;
    std::string toOptionText(const std::wstring& text) override;
    // Through the file-system code page, the one the options go back into.
    std::wstring widenAnsiLine(const std::string& line) override;
    std::wstring launcherDirectory() override;
    // The first that exists of app.vmoptions and app.exe.vmoptions beside the launcher's
    // long path, then beside its module path.
    FILE* openDefaultFile() override;
    // Through JLI_PreprocessArg of the jli.dll in the directory jvm.dll was loaded from; the
    // list stays as it is when the library or one of its functions is missing.
    void expandArgumentFiles(OptionList& options) override;
};
