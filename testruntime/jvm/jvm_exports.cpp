// Entry points of the stand-in jvm.dll. On 64-bit Windows the names are the plain JNI
// names; the 32-bit build names its exports in jvm32.def, which gives both the plain names
// (what a launcher looks up) and the decorated standard-call names that a 32-bit jvm.dll
// carries as well. The build defines _JNI_IMPLEMENTATION_ for this library, so jni.h
// declares these functions as this library's own exports.
#include "invocation.h"

static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jbyte) == 1, "JNI type sizes must match the JNI");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::recordLibraryLoad(instance);
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded by FreeLibrary: the host goes on running, so give back what was redirected.
        standin::releaseLibrary();
    }
    return TRUE;
}

extern "C" {

_JNI_IMPORT_OR_EXPORT_ jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* args) {
    return standin::createJavaVm(vm, env, args);
}

_JNI_IMPORT_OR_EXPORT_ jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    return standin::defaultJavaVmInitArgs(args);
}

_JNI_IMPORT_OR_EXPORT_ jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize capacity, jsize* count) {
    return standin::createdJavaVms(buffer, capacity, count);
}
}
