// Starting the JVM: the option list and system properties are assembled, a thread with the
// stack the options ask for creates the JVM and calls the Java launcher class's main, and
// the caller waits for it.
#pragma once

#include "core/command_line.h"

// True when the JVM thread reported success (main returned without an exception and, with
// `destroyAfterMain`, the JVM was destroyed after the application's threads ended).
bool launchJvm(const ArgumentList& args, bool destroyAfterMain);
