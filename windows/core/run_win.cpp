#include "core/run.h"

#include "config/extraction.h"
#include "core/fatal.h"
#include "core/log.h"
#include "instance/single_instance.h"

// Finding and starting a Java runtime is not available in this build yet, so a run cannot
// succeed after extraction: it ends the process as a failed launch does.
void runApplication(ArgumentList&, bool) {
    if (extractIncludedFiles(true) != 0) failWithMessage(1009, "16");
    singleInstanceGuard();
    logError(L"no Java runtime support in this build");
    exitLauncher(1);
}
