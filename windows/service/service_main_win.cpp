#include "service/service_main.h"

#include "core/log.h"

// The supervising service is not available in this build yet: the service main returns at
// once without reporting a running state, so the Service Control Manager sees a failed start.
void WINAPI serviceMain(DWORD, LPWSTR*) {
    logError(L"service main is not available in this build");
}
