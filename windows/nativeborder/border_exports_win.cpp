// The WndProc natives: subclassing a Java frame's window, recomputing its frame, its
// background colour and showing it.
#include "nativeborder/border_exports.h"

#include "nativeborder/border_support_rules.h"
#include "nativeborder/border_support.h"

#include <new>

namespace {

// Position change with no move, size or z-order change and no activation, frame changed:
// the system sends WM_NCCALCSIZE and, when the client size changes, WM_SIZE, before
// SetWindowPos returns.
constexpr UINT kFrameChangeFlags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;

void requestFrameChange(HWND hwnd) { SetWindowPos(hwnd, hwnd, 0, 0, 0, 0, kFrameChangeFlags); }

void discardRecord(JNIEnv* env, NativeWndProc* record) {
    env->DeleteGlobalRef(record->wndProc);
    delete record;
}

NativeWndProc* newRecord(JNIEnv* env, jobject object, HWND hwnd) {
    JavaVM* vm = nullptr;
    if (env->GetJavaVM(&vm) != JNI_OK || vm == nullptr) return nullptr;
    jobject reference = env->NewGlobalRef(object);
    if (reference == nullptr) return nullptr;
    NativeWndProc* record =
        new (std::nothrow) NativeWndProc{vm, nullptr, reference, hwnd, nullptr, border::kNoSizeOverride, nullptr};
    if (record == nullptr) env->DeleteGlobalRef(reference);
    return record;
}

// Replaces the window procedure of the record's window. The current procedure is stored
// before the record becomes visible in the map, so a message that reaches borderWindowProc
// the moment the replacement is in force always has a procedure to pass on to.
bool subclass(NativeWndProc* record) {
    record->previousProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(record->hwnd, GWLP_WNDPROC));
    if (record->previousProc == nullptr || !addBorderRecord(record->hwnd, record)) return false;
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrA(record->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&borderWindowProc));
    if (previous == 0) {
        // No window of this process (destroyed, or another process's): not subclassed.
        takeBorderRecord(record->hwnd);
        return false;
    }
    record->previousProc = reinterpret_cast<WNDPROC>(previous);
    return true;
}

}  // namespace

extern "C" {

jlong JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl(
    JNIEnv* env, jobject object, jlong hwndValue) {
    initBorderSupport(env, object);
    if (borderSupportState() != kBorderReady) return 0;
    createWindowMap();
    HWND hwnd = windowFromJava(hwndValue);
    if (hwnd == nullptr || findBorderRecord(hwnd) != nullptr) return 0;
    NativeWndProc* record = newRecord(env, object, hwnd);
    if (record == nullptr) return 0;
    if (!subclass(record)) {
        discardRecord(env, record);
        return 0;
    }
    return static_cast<jlong>(reinterpret_cast<intptr_t>(hwnd));
}

void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl(
    JNIEnv* env, jobject, jlong hwndValue) {
    HWND hwnd = windowFromJava(hwndValue);
    if (hwnd == nullptr) return;
    NativeWndProc* record = takeBorderRecord(hwnd);
    if (record == nullptr) return;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previousProc));
    requestFrameChange(hwnd);
    env->DeleteGlobalRef(record->wndProc);
    deleteBackgroundBrush(record->background);
    delete record;
}

void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_updateFrame(JNIEnv*, jobject,
                                                                                                       jlong hwndValue,
                                                                                                       jint state) {
    HWND hwnd = windowFromJava(hwndValue);
    if (NativeWndProc* record = findBorderRecord(hwnd))
        record->sizeMessageOverride = border::sizeOverrideForState(state);
    requestFrameChange(hwnd);
    // Looked up again: the frame change runs this window's procedure, which may have ended
    // the subclassing and freed the record it had before.
    if (NativeWndProc* record = findBorderRecord(hwnd)) record->sizeMessageOverride = border::kNoSizeOverride;
}

void JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_setWindowBackground(
    JNIEnv*, jobject, jlong hwndValue, jint r, jint g, jint b) {
    NativeWndProc* record = findBorderRecord(windowFromJava(hwndValue));
    if (record == nullptr) return;
    deleteBackgroundBrush(record->background);
    record->background = createBackgroundBrush(RGB(r & 0xFF, g & 0xFF, b & 0xFF));
}

jint JNICALL Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_showWindow(JNIEnv*, jobject,
                                                                                                      jlong hwndValue,
                                                                                                      jint cmd) {
    return ShowWindow(windowFromJava(hwndValue), cmd);
}
}
