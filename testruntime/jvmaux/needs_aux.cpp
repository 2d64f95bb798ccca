// Built into jvm_needs_aux.dll only: the stand-in jvm.dll with one more import, from
// jvmaux.dll. The exported function keeps the import in the image, so the library loads
// only where the loader finds jvmaux.dll.
#include <windows.h>

extern "C" __declspec(dllimport) int standin_aux_present();

extern "C" __declspec(dllexport) int standin_needs_aux() { return standin_aux_present(); }
