// unpack200.exe of the stand-in runtime. Its "packed" format is reversible and trivial: the
// header line below followed by the JAR's bytes unchanged; unpacking strips the header.
// The command line is read the way the C runtime splits it, so the first token is always
// taken as the program name, exactly as it would be by a real unpack200; a caller that
// leaves the program name out loses its first argument to it.
//
//   unpack200 [-r|--remove-pack-file] [-v|-q] [-l file|--log-file=file]
//             [-H hint|--deflate-hint=hint] packed-file jar-file
//
// -r deletes the packed file after a successful unpack; the other options are accepted and
// have no effect here. Exit codes: 0 done, 1 the input is missing or not in this format or
// the output cannot be written (no output file is left behind), 2 wrong usage. Every start
// is recorded in the runtime's record file before anything else happens.

#include "standin.h"

#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kPackHeader = "standin-pack200 1\n";

// Large enough for any JAR a test packs, small enough to read in one piece.
constexpr size_t kMaxPackedSize = 256u << 20;

struct Request {
    bool removePacked = false;
    std::vector<std::wstring> files;
};

bool isOneOf(const wchar_t* arg, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names)
        if (wcscmp(arg, name) == 0) return true;
    return false;
}

bool startsWith(const wchar_t* arg, const wchar_t* prefix) { return wcsncmp(arg, prefix, wcslen(prefix)) == 0; }

// False on an unknown option or an option missing its value.
bool parseArguments(int argc, wchar_t** argv, Request& request) {
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (isOneOf(arg, {L"-r", L"--remove-pack-file"})) {
            request.removePacked = true;
        } else if (isOneOf(arg, {L"-v", L"--verbose", L"-q", L"--quiet"})) {
        } else if (isOneOf(arg, {L"-l", L"--log-file", L"-H", L"--deflate-hint"})) {
            if (++i >= argc) return false;
        } else if (startsWith(arg, L"--log-file=") || startsWith(arg, L"--deflate-hint=")) {
        } else if (arg[0] == L'-' && arg[1] != 0) {
            return false;
        } else {
            request.files.push_back(arg);
        }
    }
    return request.files.size() == 2;
}

void recordStart(const standin::RuntimeHome& runtime, const std::wstring& program) {
    standin::Record record("start");
    record.add("program", standin::lastComponent(program));
    record.add("module", program);
    record.add("command", std::wstring(GetCommandLineW()));
    if (!standin::appendRecord(runtime, record))
        standin::writeStandardError("unpack200: could not write the record file\r\n");
}

bool writeNewFile(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && !bytes.empty()) {
        DWORD written = 0;
        ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written > 0;
        bytes.remove_prefix(written);
    }
    CloseHandle(file);
    if (!ok) DeleteFileW(path.c_str());  // a half-written JAR would pass for a good one
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring program = standin::modulePath(nullptr);
    standin::RuntimeHome runtime = standin::locateRuntime(standin::parentDirectory(program));
    recordStart(runtime, program);

    Request request;
    if (!parseArguments(argc, argv, request)) {
        standin::writeStandardError("Usage: unpack200 [-r] [-v|-q] [-l logfile] packed-file jar-file\r\n");
        return 2;
    }
    std::string packed;
    if (!standin::readWholeFile(request.files[0], packed, kMaxPackedSize)) {
        standin::writeStandardError("unpack200: cannot read the packed file\r\n");
        return 1;
    }
    if (packed.compare(0, kPackHeader.size(), kPackHeader) != 0) {
        standin::writeStandardError("unpack200: not a packed file of this runtime\r\n");
        return 1;
    }
    if (!writeNewFile(request.files[1], std::string_view(packed).substr(kPackHeader.size()))) {
        standin::writeStandardError("unpack200: cannot write the JAR file\r\n");
        return 1;
    }
    if (request.removePacked && !DeleteFileW(request.files[0].c_str())) {
        standin::writeStandardError("unpack200: cannot remove the packed file\r\n");
        return 1;
    }
    return 0;
}
