#include "service/service_commands.h"

#include "core/log.h"

// Service administration is not available in this build yet: every command reports failure
// rather than pretending to have done its work.
namespace {
int notAvailable(const wchar_t* command) {
    logError(L"%s is not available in this build", command);
    return 1;
}
}  // namespace

int installCommand(int) { return notAvailable(L"install"); }
int uninstallCommand(bool) { return notAvailable(L"uninstall"); }
int startCommand(const ArgumentList&) { return notAvailable(L"start"); }
int stopCommand(bool) { return notAvailable(L"stop"); }
int statusCommand() { return notAvailable(L"status"); }
