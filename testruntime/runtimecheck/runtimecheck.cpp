// runtimecheck.exe: test-only helper that looks at the stand-in runtime from the Windows
// side, the way the launcher will use it. Every mode prints key=value lines (values escaped
// like the record file) on standard output.
//
//   runtimecheck load <dll>
//       LoadLibrary and GetProcAddress of the three JNI invocation functions.
//       Exit 0: loaded and all found; 2: not loaded (error=<code>); 3: a function missing.
//   runtimecheck create <dll> <jni version> <ignoreUnrecognized> [option ...]
//       Calls JNI_GetDefaultJavaVMInitArgs, JNI_CreateJavaVM with the options (converted to
//       the ANSI code page, as the launcher hands them over) and JNI_GetCreatedJavaVMs, and
//       destroys a VM that was created.
//   runtimecheck run <timeout ms> <command line file> [program]
//       Starts the command line held in the file (UTF-8, taken exactly as it stands, so any
//       quoting can be tested), with `program` as the application name when given, the way
//       the launcher starts a probe: standard error on a pipe, standard input and output
//       null, window hidden. Waits at most the timeout, then terminates the child, and
//       reports the exit status and everything the child wrote.
//   runtimecheck filetime <path>
//       The last-write time the file search reports, as one 64-bit number.
//   runtimecheck shortpath <path>
//       The short (8.3) form of a path, as the launcher puts it on a probe's command line.
//   runtimecheck regvalue <HKCU|HKLM> <key> <value name> [32|64]
//       Type, size and bytes (hexadecimal) of a registry value, in the given view.
//   runtimecheck regset <file>
//       Writes registry values with exactly the given bytes (a .reg import cannot store a
//       string without its terminator). One value per line of the UTF-8 file, fields
//       separated by TAB: HKCU|HKLM, view (32, 64 or 0 for the default), key, value name,
//       type (decimal), data (hexadecimal). The key is created when missing.
//   runtimecheck message <module> <message id> <insertion string>
//       Formats a message of the module's message table with one insertion string, as the
//       Event Viewer renders an entry from the message file of its source: text=<result>, or
//       error=<code> when the module or the message cannot be had.

#include <jni.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "standin.h"

namespace {

void say(const std::string& key, const std::string& value) {
    std::string line = key + "=" + standin::escapeField(value) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void sayNumber(const std::string& key, long long value) { say(key, std::to_string(value)); }

std::string toCodePage(const wchar_t* text, UINT codePage) {
    int size = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);
using DefaultInitArgs = jint(JNICALL*)(void*);
using CreatedJavaVms = jint(JNICALL*)(JavaVM**, jsize, jsize*);

const char* const kInvocationFunctions[] = {"JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs",
                                            "JNI_GetCreatedJavaVMs"};

// GetProcAddress returns a generic function pointer; going through void* tells the compiler
// the cast to the real signature is intended.
template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE loadReporting(const wchar_t* path) {
    HMODULE module = LoadLibraryW(path);
    if (module == nullptr) {
        DWORD error = GetLastError();
        say("loaded", "0");
        sayNumber("error", error);
        return nullptr;
    }
    say("loaded", "1");
    return module;
}

int loadMode(const wchar_t* path) {
    HMODULE module = loadReporting(path);
    if (module == nullptr) return 2;
    bool all = true;
    for (const char* name : kInvocationFunctions) {
        bool found = GetProcAddress(module, name) != nullptr;
        say(name, found ? "found" : "missing");
        all = all && found;
    }
    return all ? 0 : 3;
}

int createMode(int argc, wchar_t** argv) {
    HMODULE module = loadReporting(argv[2]);
    if (module == nullptr) return 2;
    auto create = lookUp<CreateJavaVm>(module, "JNI_CreateJavaVM");
    auto defaults = lookUp<DefaultInitArgs>(module, "JNI_GetDefaultJavaVMInitArgs");
    auto created = lookUp<CreatedJavaVms>(module, "JNI_GetCreatedJavaVMs");
    if (create == nullptr || defaults == nullptr || created == nullptr) return 3;

    jint version = static_cast<jint>(wcstoul(argv[3], nullptr, 0));
    std::vector<std::string> texts;
    for (int i = 5; i < argc; ++i) texts.push_back(toCodePage(argv[i], CP_ACP));
    std::vector<JavaVMOption> options(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        options[i].optionString = texts[i].data();
        options[i].extraInfo = nullptr;
    }
    JavaVMInitArgs args = {};
    args.version = version;
    args.nOptions = static_cast<jint>(options.size());
    args.options = options.empty() ? nullptr : options.data();
    args.ignoreUnrecognized = wcstoul(argv[4], nullptr, 10) != 0 ? JNI_TRUE : JNI_FALSE;

    sayNumber("default", defaults(&args));
    JavaVM* vm = reinterpret_cast<JavaVM*>(1);  // must come back cleared on failure
    void* env = reinterpret_cast<void*>(1);
    sayNumber("result", create(&vm, &env, &args));
    say("vm", vm == nullptr ? "null" : "set");
    say("env", env == nullptr ? "null" : "set");
    JavaVM* list[1] = {};
    jsize count = -1;
    sayNumber("created", created(list, 1, &count));
    sayNumber("count", count);
    say("listed", count == 1 && list[0] == vm ? "same" : "other");
    if (vm != nullptr) sayNumber("destroy", vm->DestroyJavaVM());
    return 0;
}

struct PipeReader {
    HANDLE pipe = nullptr;
    std::string bytes;
};

DWORD WINAPI readPipe(void* parameter) {
    auto* reader = static_cast<PipeReader*>(parameter);
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(reader->pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) reader->bytes.append(chunk, got);
    return 0;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

int runMode(int argc, wchar_t** argv) {
    DWORD timeout = static_cast<DWORD>(wcstoul(argv[2], nullptr, 10));
    std::string commandBytes;
    if (!standin::readWholeFile(argv[3], commandBytes, 1 << 16)) {
        say("error", "cannot read the command line file");
        return 2;
    }
    std::wstring commandLine = fromUtf8(commandBytes);
    const wchar_t* program = argc > 4 ? argv[4] : nullptr;

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return 2;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    BOOL started = CreateProcessW(program, mutableLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                                  nullptr, &startup, &process);
    DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        say("status", "not-started");
        sayNumber("error", startError);
        CloseHandle(readEnd);
        return 1;
    }
    PipeReader reader{readEnd, {}};
    HANDLE thread = CreateThread(nullptr, 0, readPipe, &reader, 0, nullptr);
    if (WaitForSingleObject(process.hProcess, timeout) == WAIT_TIMEOUT) {
        bool readerDone = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        say("status", "timeout");
        say("stderr-open-at-timeout", readerDone ? "0" : "1");
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        say("status", "exited");
        sayNumber("code", code);
    }
    // The child is gone, so its end of the pipe is closed and the reader sees the end soon.
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    say("stderr", reader.bytes);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    return 0;
}

int filetimeMode(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) {
        sayNumber("error", GetLastError());
        return 1;
    }
    FindClose(search);
    unsigned long long time = (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                              found.ftLastWriteTime.dwLowDateTime;
    say("filetime", std::to_string(time));
    return 0;
}

HKEY hiveNamed(const std::wstring& name) { return name == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

REGSAM viewNamed(const std::wstring& name) {
    if (name == L"32") return KEY_WOW64_32KEY;
    if (name == L"64") return KEY_WOW64_64KEY;
    return 0;
}

int shortpathMode(const wchar_t* path) {
    DWORD size = GetShortPathNameW(path, nullptr, 0);
    std::vector<wchar_t> buffer(size + 1);
    DWORD length = size == 0 ? 0 : GetShortPathNameW(path, buffer.data(), size + 1);
    if (length == 0 || length > size) {
        sayNumber("error", GetLastError());
        return 1;
    }
    say("shortpath", standin::toUtf8(std::wstring(buffer.data(), length)));
    return 0;
}

int regvalueMode(int argc, wchar_t** argv) {
    HKEY hive = hiveNamed(argv[2]);
    REGSAM view = argc > 5 ? viewNamed(argv[5]) : 0;
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(hive, argv[3], 0, KEY_QUERY_VALUE | view, &key);
    if (status != ERROR_SUCCESS) {
        sayNumber("error", status);
        return 1;
    }
    DWORD type = 0, size = 0;
    status = RegQueryValueExW(key, argv[4], nullptr, &type, nullptr, &size);
    std::vector<unsigned char> data(size);
    if (status == ERROR_SUCCESS) status = RegQueryValueExW(key, argv[4], nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        sayNumber("error", status);
        return 1;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < size; ++i) {
        hex += kHex[data[i] >> 4];
        hex += kHex[data[i] & 0xF];
    }
    sayNumber("type", type);
    sayNumber("size", size);
    say("data", hex);
    return 0;
}

std::vector<std::wstring> splitAt(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) return parts;
        start = end + 1;
    }
}

bool parseHex(const std::wstring& text, std::vector<unsigned char>& bytes) {
    if (text.size() % 2 != 0) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        wchar_t pair[3] = {text[i], text[i + 1], 0};
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(pair, &end, 16);
        if (*end != 0) return false;
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

bool setOneValue(const std::vector<std::wstring>& fields) {
    std::vector<unsigned char> data;
    if (fields.size() != 6 || !parseHex(fields[5], data)) {
        say("error", "malformed line");
        return false;
    }
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(hiveNamed(fields[0]), fields[2].c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE | viewNamed(fields[1]), nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, fields[3].c_str(), 0, wcstoul(fields[4].c_str(), nullptr, 10), data.data(),
                                static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        say("error", standin::toUtf8(fields[2] + L" " + fields[3]) + ": " + std::to_string(status));
        return false;
    }
    return true;
}

int regsetMode(const wchar_t* file) {
    std::string bytes;
    if (!standin::readWholeFile(file, bytes, 1 << 20)) {
        say("error", "cannot read the value file");
        return 2;
    }
    bool all = true;
    for (const std::wstring& line : splitAt(fromUtf8(bytes), L'\n')) {
        if (line.empty()) continue;
        all = setOneValue(splitAt(line, L'\t')) && all;
    }
    return all ? 0 : 1;
}

int messageMode(const wchar_t* module, const wchar_t* id, const wchar_t* insertion) {
    HMODULE library = LoadLibraryExW(module, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (library == nullptr) {
        sayNumber("error", GetLastError());
        return 2;
    }
    wchar_t* text = nullptr;
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(insertion)};
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, library,
        wcstoul(id, nullptr, 10), 0, reinterpret_cast<wchar_t*>(&text), 0, reinterpret_cast<va_list*>(arguments));
    DWORD error = GetLastError();
    FreeLibrary(library);
    if (length == 0) {
        sayNumber("error", error);
        return 1;
    }
    say("text", standin::toUtf8(std::wstring(text, length)));
    LocalFree(text);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && wcscmp(argv[1], L"load") == 0) return loadMode(argv[2]);
    if (argc >= 5 && wcscmp(argv[1], L"create") == 0) return createMode(argc, argv);
    if (argc >= 4 && wcscmp(argv[1], L"run") == 0) return runMode(argc, argv);
    if (argc >= 3 && wcscmp(argv[1], L"filetime") == 0) return filetimeMode(argv[2]);
    if (argc >= 3 && wcscmp(argv[1], L"shortpath") == 0) return shortpathMode(argv[2]);
    if (argc >= 5 && wcscmp(argv[1], L"regvalue") == 0) return regvalueMode(argc, argv);
    if (argc >= 3 && wcscmp(argv[1], L"regset") == 0) return regsetMode(argv[2]);
    if (argc >= 5 && wcscmp(argv[1], L"message") == 0) return messageMode(argv[2], argv[3], argv[4]);
    say("error", "usage: runtimecheck load|create|run|filetime|shortpath|regvalue|regset ...");
    return 2;
}
