// The packer shares the launcher's version parser, whose file also holds code that logs. The
// packer has no diagnostic log, so those calls go nowhere. (The unit tests link the capturing
// log instead of this file.)
#include "core/log.h"

void logLine(const wchar_t*, ...) {}
void logError(const wchar_t*, ...) {}
const wchar_t* getLogPath() { return nullptr; }
