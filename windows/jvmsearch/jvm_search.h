// The search for a Java runtime: every configured and well-known place in a fixed order
// (jvm_search_rules.h), loading the first runtime whose JVM library loads.
#pragma once

// True when a JVM library is loaded and JNI_CreateJavaVM resolved. Otherwise, when
// `reportFailures`, the message for how the last candidate was found has been shown; the
// caller ends the process.
bool LoadDLL(bool reportFailures);
