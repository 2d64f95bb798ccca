#include "jvmsearch/unpack_jre.h"

#include "core/fatal.h"
#include "core/child_process.h"
#include "core/handles.h"
#include "core/log.h"
#include "core/platform.h"
#include "jvmsearch/unpack_jre_rules.h"
#include "paths/path_helpers.h"

#include <string>
#include <vector>

namespace {

constexpr size_t kPackSuffixLength = 5;  // ".pack"

// The packed files of one folder, named in the order the file system returns them. Listed
// before anything is unpacked, so deleting packed files cannot disturb the listing.
std::vector<std::string> packedFilesIn(const std::string& folderPath) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find(FindFirstFileA((folderPath + "\\*.jar.pack").c_str(), &data));
    if (!find.valid()) return names;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(data.cFileName);
    } while (FindNextFileA(find.get(), &data));
    return names;
}

void runUnpack200(const std::string& home, const std::string& packedPath) {
    std::string jarPath = packedPath.substr(0, packedPath.size() - kPackSuffixLength);
    if (!pathExists(packedPath.c_str())) {
        logLine(L"pack path doesn't exists");
        return;
    }
    std::string program = home + "\\bin\\unpack200.exe";
    std::string arguments = unpack200CommandLine(packedPath, jarPath);
    logLine(L"%S", program.c_str());
    logLine(L"%S", arguments.c_str());

    ChildOptions options;
    options.creationFlags = NORMAL_PRIORITY_CLASS;
    options.hideWindow = true;
    DWORD startError = 0;
    std::optional<ChildProcess> child = startChild(program.c_str(), arguments, options, startError);
    if (!child) {
        logLine(L"could not create unpack process");
        logError(L"starting %S failed with error %d", program.c_str(), static_cast<int>(startError));
        failWithMessage(MessageId::UnpackFailed, nullptr);
    }
    logLine(L"waiting for unpack200 to finish");
    // The wait is there so that the packed file is deleted only once unpack200 is done with
    // it; its exit code is not looked at.
    DWORD exitError = 0;
    (void)waitForExit(*child, INFINITE, exitError);
    logLine(L"unpack done");

    if (!DeleteFileA(packedPath.c_str())) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            logLine(L"could not delete packed file (error %d)", static_cast<int>(error));
    }
}

void unpackJarsInFolder(const std::string& home, const char* folder, bool& started) {
    for (const std::string& name : packedFilesIn(home + "\\" + folder)) {
        std::optional<std::string> jarName = jarNameForPackedFile(name);
        if (!jarName) continue;
        std::string relativeJar = std::string(folder) + "\\" + *jarName;
        std::string jarPath = home + "\\" + relativeJar;
        logLine(L"checking %S", jarPath.c_str());
        if (pathExists(jarPath.c_str())) continue;
        if (!started) {
            logLine(L"Unpacking JRE");
            printProgress("Preparing JRE ...\n");
            started = true;
        }
        runUnpack200(home, home + "\\" + relativeJar + ".pack");
    }
}

}  // namespace

void unpackPackedJre(const char* home) {
    std::string base = home == nullptr ? std::string() : home;
    bool started = false;
    unpackJarsInFolder(base, "lib", started);
    unpackJarsInFolder(base, "lib\\ext", started);
    if (started) logLine(L"Unpacking JRE done");
}
