// ucrtbase.dll of the stand-in runtime: no C runtime at all, only a library whose loading a
// test can see. A launcher that preloads the runtime's own copy of the universal C runtime
// on older Windows leaves a "ucrtbase-load" record naming the file that was loaded.
#include "standin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        std::wstring path = standin::modulePath(instance);
        standin::RuntimeHome runtime = standin::locateRuntime(standin::parentDirectory(path));
        standin::Record record("ucrtbase-load");
        record.add("module", path);
        if (!standin::appendRecord(runtime, record))
            standin::writeStandardError("standin ucrtbase.dll: could not write the record file\r\n");
    }
    return TRUE;
}
