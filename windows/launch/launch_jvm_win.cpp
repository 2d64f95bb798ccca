#include "launch/launch_jvm.h"

#include "JavaVMLauncher/java_vm_launcher.h"
#include "config/extraction.h"
#include "core/environment.h"
#include "core/handles.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/platform.h"
#include "instance/single_instance.h"
#include "launch/jvm_arguments.h"
#include "launch/launch_jvm_rules.h"
#include "paths/launcher_path.h"

#include <cstdlib>

namespace {

LauncherPropertyInputs currentPropertyInputs() {
    LauncherPropertyInputs inputs;
    inputs.semaphoreName = semaphoreName;
    inputs.generatorKind = generatorKind;
    inputs.serviceMode = serviceMode;
    inputs.launcherPath = getLauncherPath();
    inputs.extractionDirectory = extractionDirectory;
    inputs.unextractedPosition = unextractedPosition;
    // PATH as the library loading left it, whatever its length.
    EnvironmentValue<char> path = readVariable("PATH");
    inputs.path = path.set ? path.text : std::string();
    inputs.manPathDefined = getenv("MANPATH") != nullptr;
    inputs.consoleOutputCodePage = GetConsoleOutputCP();
    return inputs;
}

}  // namespace

bool launchJvm(const ArgumentList& args, bool destroyAfterMain) {
    logLine(L"launching program");
    std::vector<std::string> properties = launcherProperties(currentPropertyInputs());

    // The request, its options and the strings they point to stay for the life of the
    // process: a JVM left running after a failed main may still refer to them.
    LaunchRequest* request = new LaunchRequest;
    request->args = args;
    request->destroyAfterMain = destroyAfterMain;
    buildJvmArguments(request->jvm, properties, args);

    uint32_t stackSize = stackSizeFromOptions(request->jvm.options);
    logLine(L"used stack size %d", static_cast<int>(stackSize));

    // The JVM takes the stack of the thread that creates it as the main thread's stack, so
    // "-Xss" is honoured by creating it on a thread that reserves that much.
    ThreadHandle thread(
        CreateThread(nullptr, stackSize, jvmThreadRoutine, request, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    if (!thread.valid()) {
        DWORD error = GetLastError();
        logError(L"could not create the JVM thread (%d); creating the JVM on this thread", static_cast<int>(error));
        return createJvmAndRun(*request);
    }
    WaitForSingleObject(thread.get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeThread(thread.get(), &exitCode)) exitCode = 0;
    return exitCode != 0;
}
