#include "core/launcher_state.h"

wchar_t serviceName[kServiceNameCapacity];
bool serviceMode = true;
bool noRedirect = false;
char generatorKind = 0;
