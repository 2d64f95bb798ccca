#include "nativeborder/border_support.h"

#include "core/log.h"
#include "nativeborder/border_support_rules.h"
#include "nativeborder/window_map.h"

#include <shellapi.h>

namespace {

// Shell request codes; the newer one is missing from headers that target Windows 7.
constexpr DWORD kAppBarGetState = 4;
constexpr DWORD kAppBarGetAutoHideBarEx = 11;
constexpr UINT_PTR kAppBarAutoHide = 1;
constexpr jint kJniVersion12 = 0x10002;

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
using ShAppBarMessageFunction = UINT_PTR(WINAPI*)(DWORD, PAPPBARDATA);
using DeleteObjectFunction = BOOL(WINAPI*)(HGDIOBJ);
using CreateSolidBrushFunction = HBRUSH(WINAPI*)(COLORREF);

// Process-wide support state. Written only by initBorderSupport, which runs its body once,
// on the thread of the first installImpl (the Java side installs its first frame from one
// thread); read afterwards by every thread without a lock.
struct BorderSupport {
    int state = kBorderNotTried;
    GetDpiForWindowFunction getDpiForWindow = nullptr;
    GetSystemMetricsForDpiFunction getSystemMetricsForDpi = nullptr;
    ShAppBarMessageFunction shAppBarMessage = nullptr;
    DeleteObjectFunction deleteObject = nullptr;
    CreateSolidBrushFunction createSolidBrush = nullptr;
    jmethodID onNcHitTest = nullptr;
    jmethodID isFullscreen = nullptr;
    jmethodID fireStateChangedLaterOnce = nullptr;
};
BorderSupport support;

// The map with the lock that guards it. Created by the first successful installImpl (same
// thread assumption as above) and never destroyed, so a pointer read once stays valid.
struct LockedWindowMap {
    CRITICAL_SECTION lock;
    WindowMap map;
    LockedWindowMap() { InitializeCriticalSection(&lock); }
};
LockedWindowMap* windowMap = nullptr;

class MapLock {
public:
    explicit MapLock(LockedWindowMap& shared) : lock_(shared.lock) { EnterCriticalSection(&lock_); }
    ~MapLock() { LeaveCriticalSection(&lock_); }
    MapLock(const MapLock&) = delete;
    MapLock& operator=(const MapLock&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

void resolveEntryPoints() {
    // Loaded for good: the support lives until the process ends. user32.dll is delay-loaded
    // by the launcher, so it need not be loaded yet either.
    HMODULE user32 = LoadLibraryA("user32.dll");
    support.getDpiForWindow = lookupFunction<GetDpiForWindowFunction>(user32, "GetDpiForWindow");
    support.getSystemMetricsForDpi = lookupFunction<GetSystemMetricsForDpiFunction>(user32, "GetSystemMetricsForDpi");
    HMODULE shell32 = LoadLibraryA("shell32.dll");
    support.shAppBarMessage = lookupFunction<ShAppBarMessageFunction>(shell32, "SHAppBarMessage");
    HMODULE gdi32 = LoadLibraryA("gdi32.dll");
    support.deleteObject = lookupFunction<DeleteObjectFunction>(gdi32, "DeleteObject");
    support.createSolidBrush = lookupFunction<CreateSolidBrushFunction>(gdi32, "CreateSolidBrush");
}

// A method the class lacks leaves NoSuchMethodError pending; it is cleared so that the
// failed install reaches Java as the documented 0 rather than as an exception.
jmethodID javaMethod(JNIEnv* env, jclass type, const char* name, const char* signature) {
    jmethodID method = env->GetMethodID(type, name, signature);
    if (method == nullptr) {
        if (env->ExceptionCheck()) env->ExceptionClear();
        logError(L"native window border: Java method %S %S not found", name, signature);
    }
    return method;
}

void resolveJavaMethods(JNIEnv* env, jobject object) {
    jclass type = env->GetObjectClass(object);
    if (type == nullptr) return;
    support.onNcHitTest = javaMethod(env, type, "onNcHitTest", "(IIZ)I");
    support.isFullscreen = javaMethod(env, type, "isFullscreen", "()Z");
    support.fireStateChangedLaterOnce = javaMethod(env, type, "fireStateChangedLaterOnce", "()V");
    env->DeleteLocalRef(type);
}

bool everythingResolved() {
    return support.getDpiForWindow && support.getSystemMetricsForDpi && support.shAppBarMessage &&
           support.deleteObject && support.createSolidBrush && support.onNcHitTest && support.isFullscreen &&
           support.fireStateChangedLaterOnce;
}

// An exception thrown by a callback must not stay pending: the window procedure returns to
// the system, not to Java, and the next callback would then run with an exception pending,
// which the JNI forbids. Returns true when the call threw.
bool clearJavaException(JNIEnv* env, const wchar_t* method) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    logError(L"native window border: %s threw an exception", method);
    return true;
}

}  // namespace

int borderSupportState() { return support.state; }

void initBorderSupport(JNIEnv* env, jobject object) {
    if (support.state != kBorderNotTried) return;
    support.state = kBorderFailed;
    resolveEntryPoints();
    resolveJavaMethods(env, object);
    if (everythingResolved()) {
        support.state = kBorderReady;
        logLine(L"native window border ready");
    } else {
        logError(L"native window border unavailable: a system function or Java method is missing");
    }
}

void createWindowMap() {
    if (windowMap == nullptr) windowMap = new LockedWindowMap();
}

NativeWndProc* findBorderRecord(HWND hwnd) {
    if (windowMap == nullptr) return nullptr;
    MapLock held(*windowMap);
    return windowMap->map.get(hwnd);
}

bool addBorderRecord(HWND hwnd, NativeWndProc* record) {
    if (windowMap == nullptr) return false;
    MapLock held(*windowMap);
    // Checked under the same lock as the insertion: two threads installing the same window
    // at once subclass it only once.
    if (windowMap->map.get(hwnd) != nullptr) return false;
    return windowMap->map.put(hwnd, record);
}

NativeWndProc* takeBorderRecord(HWND hwnd) {
    if (windowMap == nullptr) return nullptr;
    MapLock held(*windowMap);
    NativeWndProc* record = nullptr;
    return windowMap->map.remove(hwnd, &record) ? record : nullptr;
}

size_t borderRecordCount() {
    if (windowMap == nullptr) return 0;
    MapLock held(*windowMap);
    return windowMap->map.count();
}

HWND windowFromJava(jlong value) {
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(value))));
}

JNIEnv* recordEnv(NativeWndProc* record) {
    if (record->env != nullptr) return record->env;
    void* env = nullptr;
    if (record->vm->GetEnv(&env, kJniVersion12) != JNI_OK) env = nullptr;
    record->env = static_cast<JNIEnv*>(env);
    return record->env;
}

int javaHitTest(NativeWndProc* record, int x, int y, bool onResizeBorder) {
    JNIEnv* env = recordEnv(record);
    if (env == nullptr) return border::fallbackHitTest(onResizeBorder);
    jint hit = env->CallIntMethod(record->wndProc, support.onNcHitTest, static_cast<jint>(x), static_cast<jint>(y),
                                  static_cast<jboolean>(onResizeBorder ? JNI_TRUE : JNI_FALSE));
    if (clearJavaException(env, L"onNcHitTest")) return border::fallbackHitTest(onResizeBorder);
    return hit;
}

bool javaIsFullscreen(NativeWndProc* record) {
    JNIEnv* env = recordEnv(record);
    if (env == nullptr) return false;
    jboolean fullScreen = env->CallBooleanMethod(record->wndProc, support.isFullscreen);
    if (clearJavaException(env, L"isFullscreen")) return false;
    return fullScreen != JNI_FALSE;
}

void javaFireStateChanged(NativeWndProc* record) {
    JNIEnv* env = recordEnv(record);
    if (env == nullptr) return;
    env->CallVoidMethod(record->wndProc, support.fireStateChangedLaterOnce);
    clearJavaException(env, L"fireStateChangedLaterOnce");
}

HBRUSH createBackgroundBrush(COLORREF colour) { return support.createSolidBrush(colour); }

void deleteBackgroundBrush(HBRUSH brush) {
    if (brush != nullptr) support.deleteObject(brush);
}

int resizeHandleHeight(const NativeWndProc* record) {
    const UINT dpi = support.getDpiForWindow(record->hwnd);
    return support.getSystemMetricsForDpi(SM_CXPADDEDBORDER, dpi) + support.getSystemMetricsForDpi(SM_CYSIZEFRAME, dpi);
}

bool taskbarAutoHides() {
    APPBARDATA request{};
    request.cbSize = sizeof request;
    return (support.shAppBarMessage(kAppBarGetState, &request) & kAppBarAutoHide) != 0;
}

bool hasAutoHideTaskbar(UINT edge, const RECT& monitorRect) {
    APPBARDATA request{};
    request.cbSize = sizeof request;
    request.uEdge = edge;
    request.rc = monitorRect;
    return support.shAppBarMessage(kAppBarGetAutoHideBarEx, &request) != 0;
}

LPARAM toWindowCoordinates(HWND hwnd, LPARAM lParam) {
    RECT window{};
    GetWindowRect(hwnd, &window);
    return static_cast<LPARAM>(border::windowPoint(static_cast<uintptr_t>(lParam), window.left, window.top));
}

void setMenuItemEnabled(HMENU menu, UINT command, bool enabled) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = enabled ? MFS_ENABLED : MF_DISABLED;
    SetMenuItemInfoW(menu, command, FALSE, &item);
}

void openSystemMenu(HWND hwnd, int x, int y) {
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (menu == nullptr) return;
    const uint32_t style = static_cast<uint32_t>(GetWindowLongA(hwnd, GWL_STYLE));
    for (const border::MenuItemState& item : border::systemMenuStates(style, IsZoomed(hwnd) != FALSE))
        setMenuItemEnabled(menu, item.command, item.enabled);
    SetMenuDefaultItem(menu, border::kCommandClose, FALSE);
    const BOOL command = TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, hwnd, nullptr);
    if (command != 0) PostMessageA(hwnd, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}
