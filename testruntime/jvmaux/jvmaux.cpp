// jvmaux.dll: a library that a variant of the stand-in jvm.dll (jvm_needs_aux.dll) imports,
// as a real jvm.dll imports the C runtime that its runtime ships in bin. Where a test puts
// it decides whether the loader can find it for the JVM library.
#include <windows.h>

extern "C" __declspec(dllexport) int standin_aux_present() { return 1; }
