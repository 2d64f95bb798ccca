#include "core/run.h"

#include "config/extraction.h"
#include "core/fatal.h"
#include "core/log.h"
#include "instance/single_instance.h"
#include "jvmsearch/jvm_library.h"
#include "jvmsearch/jvm_search.h"
#include "launch/launch_jvm.h"
#include "launch/splash.h"
#include "service/service_main.h"

void runApplication(ArgumentList& args, bool registerConsoleHandler) {
    if (extractIncludedFiles(true) != 0) failWithMessage(MessageId::ExtractionFailed, "16");
    setNativeLibraryPath();
    if (registerConsoleHandler) {
        // The supervised child: console events must not end it; the service main stops it
        // through its standard input.
        logLine(L"registering ConsoleCtrlHandler");
        SetConsoleCtrlHandler(consoleEventHandler, TRUE);
    }
    singleInstanceGuard();
    if (LoadDLL(true)) {
        // The splash library comes from the runtime just loaded; the image shows while the
        // JVM starts.
        showSplashScreen();
        if (launchJvm(args, true)) {
            // The JVM has been destroyed: the included files are no longer needed.
            removeExtractionDirectory();
            return;
        }
    }
    exitLauncher(1);
}
