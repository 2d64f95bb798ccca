// jli.dll of the stand-in runtime: the argument-file functions a launcher borrows from a
// runtime to expand `@file` options, recording every call in the runtime's record file.
//
// JLI_PreprocessArg returns null for an argument it leaves alone, otherwise a JliList:
//
//   struct JliList {
//       char** elements;   // the resulting arguments, each a NUL-terminated 8-bit string
//       int size;          // how many there are
//       int sizeHigh;      // always 0: a caller that reads the count as a size_t (64-bit
//                          // on x64, as the JDK's own list declares it) reads the same value
//       size_t capacity;   // slots allocated in elements
//   };
//
// The list, its array and every string are separate allocations that JLI_MemFree releases;
// the functions use the Windows standard calling convention (JNICALL), and the 32-bit build
// exports them under their plain names as well as the decorated ones.
//
// What is expanded: an argument "@name" (name not empty) is replaced by the arguments of the
// file `name` (argfile.h gives the rules); "@@..." stands for the argument with one "@"
// removed; after an argument "--disable-@files" (given directly or found in a file) and when
// JLI_InitArgProcessing was told to disable argument files, nothing is expanded. A file
// that cannot be read ends the process with exit code 1 after "Error: could not open
// `<name>'" on standard error, as the java command does.
#include <jni.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "argfile.h"
#include "standin.h"

namespace {

struct JliList {
    char** elements;
    int size;
    int sizeHigh;
    size_t capacity;
};

// A file larger than this is not an argument file anyone wrote by hand.
constexpr size_t kArgumentFileLimit = 16 << 20;

// State of the argument processing, as JLI_InitArgProcessing sets it. Written by the
// exported functions; the launcher calls them from one thread.
standin::RuntimeHome runtime;
bool initialized = false;
bool expansionStopped = false;

// Every allocation handed out and not yet freed, with what it is, so that JLI_MemFree can
// say what it released and refuse pointers it never gave.
CRITICAL_SECTION allocationLock;
std::set<void*> lists, arrays, strings;

void record(const standin::Record& entry) {
    if (!standin::appendRecord(runtime, entry))
        standin::writeStandardError("standin jli.dll: could not write the record file\r\n");
}

std::string asUtf8(const char* text) { return standin::codePageToUtf8(text, AreFileApisANSI() ? CP_ACP : CP_OEMCP); }

char* copyString(const std::string& text) {
    auto* copy = static_cast<char*>(malloc(text.size() + 1));
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

JliList* makeList(const std::vector<std::string>& arguments) {
    auto* list = static_cast<JliList*>(calloc(1, sizeof(JliList)));
    size_t capacity = arguments.size() + 1;
    list->elements = static_cast<char**>(calloc(capacity, sizeof(char*)));
    list->size = static_cast<int>(arguments.size());
    list->capacity = capacity;
    EnterCriticalSection(&allocationLock);
    lists.insert(list);
    arrays.insert(list->elements);
    for (size_t i = 0; i < arguments.size(); ++i) {
        list->elements[i] = copyString(arguments[i]);
        strings.insert(list->elements[i]);
    }
    LeaveCriticalSection(&allocationLock);
    return list;
}

[[noreturn]] void cannotOpen(const std::string& name, standin::Record& entry) {
    entry.add("result", "error");
    record(entry);
    standin::writeStandardError("Error: could not open `" + name + "'\r\n");
    ExitProcess(1);
}

std::vector<std::string> expandFile(const char* name, standin::Record& entry) {
    std::wstring path;
    int size = MultiByteToWideChar(AreFileApisANSI() ? CP_ACP : CP_OEMCP, 0, name, -1, nullptr, 0);
    if (size > 1) {
        std::vector<wchar_t> wide(static_cast<size_t>(size));
        MultiByteToWideChar(AreFileApisANSI() ? CP_ACP : CP_OEMCP, 0, name, -1, wide.data(), size);
        path.assign(wide.data());
    }
    std::string text;
    entry.add("file", asUtf8(name));
    if (path.empty() || !standin::readWholeFile(path, text, kArgumentFileLimit)) cannotOpen(name, entry);
    std::vector<std::string> arguments = standin::splitArgumentFile(text);
    for (const std::string& argument : arguments)
        if (argument == "--disable-@files") expansionStopped = true;
    return arguments;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        InitializeCriticalSection(&allocationLock);
        std::wstring path = standin::modulePath(instance);
        runtime = standin::locateRuntime(standin::parentDirectory(path));
        standin::Record entry("jli-load");
        entry.add("module", path);
        record(entry);
    }
    return TRUE;
}

extern "C" {

JNIEXPORT void JNICALL JLI_InitArgProcessing(jboolean hasJavaArgs, jboolean disableArgFile) {
    initialized = true;
    expansionStopped = disableArgFile != JNI_FALSE;
    standin::Record entry("jli-init");
    entry.addNumber("hasJavaArgs", hasJavaArgs);
    entry.addNumber("disableArgFile", disableArgFile);
    record(entry);
}

JNIEXPORT JliList* JNICALL JLI_PreprocessArg(const char* arg, jboolean expandSourceOpt) {
    standin::Record entry("jli-preprocess");
    if (arg == nullptr)
        entry.add("arg.null", "1");
    else
        entry.add("arg", asUtf8(arg));
    entry.addNumber("expandSourceOpt", expandSourceOpt);
    entry.addNumber("initialized", initialized ? 1 : 0);
    std::vector<std::string> arguments;
    bool expand = false;
    if (arg != nullptr && !expansionStopped) {
        if (strcmp(arg, "--disable-@files") == 0) {
            expansionStopped = true;
        } else if (arg[0] == '@' && arg[1] == '@') {
            arguments.push_back(arg + 1);
            expand = true;
        } else if (arg[0] == '@' && arg[1] != 0) {
            arguments = expandFile(arg + 1, entry);
            expand = true;
        }
    }
    if (!expand) {
        entry.add("result", "null");
        record(entry);
        return nullptr;
    }
    entry.add("result", "list");
    entry.addNumber("count", static_cast<long long>(arguments.size()));
    for (size_t i = 0; i < arguments.size(); ++i)
        entry.add("element" + std::to_string(i), asUtf8(arguments[i].c_str()));
    record(entry);
    return makeList(arguments);
}

JNIEXPORT void JNICALL JLI_MemFree(void* pointer) {
    standin::Record entry("jli-free");
    if (pointer == nullptr) {
        entry.add("what", "null");
        record(entry);
        return;
    }
    const char* what = nullptr;
    EnterCriticalSection(&allocationLock);
    if (lists.erase(pointer) != 0)
        what = "list";
    else if (arrays.erase(pointer) != 0)
        what = "elements";
    else if (strings.erase(pointer) != 0)
        what = "string";
    LeaveCriticalSection(&allocationLock);
    if (what == nullptr) {
        // Freeing what this library never handed out (or freed already) would corrupt the
        // heap; it is recorded and left alone.
        entry.add("what", "unknown");
        record(entry);
        return;
    }
    entry.add("what", what);
    record(entry);
    free(pointer);
}
}
