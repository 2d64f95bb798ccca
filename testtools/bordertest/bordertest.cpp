// Test program for the native window border under Wine: creates real frames, drives the six
// exported functions with the fake JNI environment and checks what the frames' own window
// procedures, the fake Java objects, the device contexts and the registry show.
//
//   bordertest <scenario>
//
// Each check prints "ok - <what>" or "FAIL - <what>: ..."; the exit code is 0 when every
// check of the scenario passed, 1 when one failed, 2 for a usage error, 3 on a time-out.
#include "fake_jni.h"

#include "nativeborder/border_exports.h"
#include "nativeborder/border_support.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// --- checks -------------------------------------------------------------------------------

int failures = 0;

void expectTrue(bool condition, const char* what, const std::string& detail = std::string()) {
    if (condition)
        std::printf("ok - %s\n", what);
    else if (detail.empty())
        std::printf("FAIL - %s\n", what);
    else
        std::printf("FAIL - %s: %s\n", what, detail.c_str());
    if (!condition) ++failures;
    std::fflush(stdout);
}

void expectEq(long long actual, long long expected, const char* what) {
    if (actual == expected)
        std::printf("ok - %s\n", what);
    else {
        std::printf("FAIL - %s: got %lld (0x%llx), expected %lld (0x%llx)\n", what, actual, actual, expected, expected);
        ++failures;
    }
    std::fflush(stdout);
}

// --- the exports under test ---------------------------------------------------------------

// The border's sources are compiled into this program: the launcher cannot serve as a module
// to load, since its code expects the C runtime start-up of its own process. Its export
// table is checked separately against these names.
const struct {
    jlong(JNICALL* installImpl)(JNIEnv*, jobject, jlong);
    void(JNICALL* uninstallImpl)(JNIEnv*, jobject, jlong);
    void(JNICALL* updateFrame)(JNIEnv*, jobject, jlong, jint);
    void(JNICALL* setWindowBackground)(JNIEnv*, jobject, jlong, jint, jint, jint);
    jint(JNICALL* showWindow)(JNIEnv*, jobject, jlong, jint);
    jint(JNICALL* registryGetIntValue)(JNIEnv*, jclass, jstring, jstring, jint);
} exports = {
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_installImpl,
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_uninstallImpl,
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_updateFrame,
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_setWindowBackground,
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_00024WndProc_showWindow,
    Java_com_quillwork_runtime_flatlaf_FlatWindowsNativeWindowBorder_registryGetIntValue,
};

jlong toJava(HWND hwnd) { return static_cast<jlong>(reinterpret_cast<intptr_t>(hwnd)); }

// --- frames and what their own window procedure sees --------------------------------------

struct Observed {
    std::vector<WPARAM> sizeParams;
    int extraBottomInset = 0;  // makes each frame change alter the client size
    int ncCalcCalls = 0;
    RECT systemClient{};  // the client rectangle the system computed last
    int eraseCalls = 0;
    std::vector<MSG> messages;  // the mouse, menu, colour and destruction messages
    int menuOpenings = 0;
    std::map<UINT, UINT> menuStates;
    UINT menuDefault = 0;
    LONG_PTR procAtNcDestroy = 0;
};
std::map<HWND, Observed> observations;

bool isRecorded(UINT msg) {
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCRBUTTONUP:
    case WM_DWMCOLORIZATIONCOLORCHANGED:
    case WM_DESTROY:
    case WM_SYSCOMMAND:
        return true;
    default:
        return false;
    }
}

constexpr UINT kMenuCommands[] = {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_CLOSE};

void captureMenu(Observed& seen, HMENU menu) {
    ++seen.menuOpenings;
    for (UINT command : kMenuCommands) seen.menuStates[command] = GetMenuState(menu, command, MF_BYCOMMAND);
    seen.menuDefault = GetMenuDefaultItem(menu, FALSE, 0);
}

// The procedure the border subclasses: a Unicode window procedure standing in for the one of
// the Java toolkit. It records what reaches it and keeps out of modal loops (moving, sizing,
// closing) that would stall the test.
LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Observed& seen = observations[hwnd];
    if (isRecorded(msg)) {
        MSG copy{};
        copy.hwnd = hwnd;
        copy.message = msg;
        copy.wParam = wParam;
        copy.lParam = lParam;
        seen.messages.push_back(copy);
        if (msg != WM_DESTROY) return 0;
    }
    switch (msg) {
    case WM_SIZE:
        seen.sizeParams.push_back(wParam);
        break;
    case WM_NCCALCSIZE: {
        const LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        RECT* client =
            wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
        client->bottom -= seen.extraBottomInset;
        seen.systemClient = *client;
        ++seen.ncCalcCalls;
        return result;
    }
    case WM_ERASEBKGND:
        ++seen.eraseCalls;
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_INITMENUPOPUP:
        captureMenu(seen, reinterpret_cast<HMENU>(wParam));
        break;
    case WM_ENTERIDLE:
        // The menu is open and waits for the user: nothing chosen, close it.
        if (wParam == MSGF_MENU) EndMenu();
        return 0;
    case WM_NCDESTROY:
        seen.procAtNcDestroy = GetWindowLongPtrW(hwnd, GWLP_WNDPROC);
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const wchar_t kFrameClass[] = L"BorderTestFrame";
constexpr DWORD kSizable = WS_OVERLAPPEDWINDOW;
constexpr DWORD kFixedSize = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HWND makeFrame(DWORD style, const wchar_t* title, bool visible = true) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW frameClass{};
        frameClass.lpfnWndProc = frameProc;
        frameClass.hInstance = GetModuleHandleW(nullptr);
        frameClass.lpszClassName = kFrameClass;
        frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        registered = RegisterClassW(&frameClass) != 0;
    }
    HWND hwnd = CreateWindowExW(0, kFrameClass, title, style | (visible ? WS_VISIBLE : 0), 100, 100, 400, 300, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    if (hwnd == nullptr) {
        std::printf("FAIL - CreateWindowExW failed (error %lu); is there a display?\n", GetLastError());
        std::exit(1);
    }
    pump();
    return hwnd;
}

std::vector<MSG> takeMessages(HWND hwnd) {
    std::vector<MSG> taken;
    taken.swap(observations[hwnd].messages);
    return taken;
}

std::string describe(const std::vector<MSG>& messages) {
    std::string text = "messages";
    for (const MSG& m : messages) {
        char one[80];
        std::snprintf(one, sizeof one, " 0x%x(%llx,%llx)", m.message, static_cast<unsigned long long>(m.wParam),
                      static_cast<unsigned long long>(m.lParam));
        text += one;
    }
    return text;
}

const MSG* findMessage(const std::vector<MSG>& messages, UINT msg) {
    for (const MSG& m : messages)
        if (m.message == msg) return &m;
    return nullptr;
}

LPARAM screenPoint(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

RECT windowRect(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return rect;
}

// The resize-handle height as the documentation of the per-DPI metrics defines it.
int expectedResizeHandleHeight(HWND hwnd) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto dpiForWindow = lookupFunction<UINT(WINAPI*)(HWND)>(user32, "GetDpiForWindow");
    auto metricForDpi = lookupFunction<int(WINAPI*)(int, UINT)>(user32, "GetSystemMetricsForDpi");
    if (dpiForWindow == nullptr || metricForDpi == nullptr) return -1;
    const UINT dpi = dpiForWindow(hwnd);
    return metricForDpi(SM_CXPADDEDBORDER, dpi) + metricForDpi(SM_CYSIZEFRAME, dpi);
}

struct JavaSide {
    FakeClass type;
    FakeWndProc object{&type};
    jobject local = fakeLocalRef(&object);
};

JNIEnv* env() { return fakeEnv(); }

// The border caches the environment of a frame's thread the first time a message needs Java,
// so a frame "without an environment" must never meet Java while attached: these frames are
// created, installed and used entirely while the thread counts as detached from the VM.
class Detached {
public:
    Detached() { fakeSetAttached(false); }
    ~Detached() { fakeSetAttached(true); }
    Detached(const Detached&) = delete;
    Detached& operator=(const Detached&) = delete;
};

jlong install(JavaSide& java, HWND hwnd) { return exports.installImpl(env(), java.local, toJava(hwnd)); }
void uninstall(JavaSide& java, HWND hwnd) { exports.uninstallImpl(env(), java.local, toJava(hwnd)); }
void updateFrame(JavaSide& java, HWND hwnd, int state) { exports.updateFrame(env(), java.local, toJava(hwnd), state); }

// Installs and lets the system recompute the frame, as the Java side does after installing.
void installAndRefresh(JavaSide& java, HWND hwnd) {
    if (install(java, hwnd) != toJava(hwnd)) {
        std::printf("FAIL - install of a fresh frame did not return its handle\n");
        std::exit(1);
    }
    updateFrame(java, hwnd, 0);
    pump();
}

// --- scenarios ----------------------------------------------------------------------------

void scenarioInstall() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"install");
    const LONG_PTR original = GetWindowLongPtrW(frame, GWLP_WNDPROC);

    expectEq(install(java, frame), toJava(frame), "install returns the window handle");
    expectTrue(GetWindowLongPtrW(frame, GWLP_WNDPROC) != original, "install replaces the window procedure");
    expectEq(install(java, frame), 0, "a second install of the same window returns 0");
    expectEq(fakeCounters().liveGlobalRefs, 1, "only the first install keeps a global reference");
    expectEq(fakeCounters().getMethodIdCalls, 3, "initialisation looks up the three Java methods once");
    expectEq(static_cast<long long>(borderRecordCount()), 1, "the map holds one record");

    HWND second = makeFrame(kSizable, L"install high bits");
    const jlong withHighBits = static_cast<jlong>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(second))) |
                               (static_cast<jlong>(0x5A5A5A5A) << 32);
    expectEq(exports.installImpl(env(), java.local, withHighBits), toJava(second),
             "only the low 32 bits of the Java long name the window");
    exports.uninstallImpl(env(), java.local, withHighBits);
    expectEq(exports.installImpl(env(), java.local, 0), 0, "install of handle 0 returns 0");

    uninstall(java, frame);
    expectEq(GetWindowLongPtrW(frame, GWLP_WNDPROC), original,
             "uninstall restores the procedure in place before install");
    expectTrue(IsWindowUnicode(frame) != FALSE, "the restored window is a Unicode window again");
    expectEq(fakeCounters().liveGlobalRefs, 0, "uninstall deletes the global references");
    const RECT rect = windowRect(frame);
    const int callsBefore = java.object.hitTestCalls;
    SendMessageW(frame, WM_NCHITTEST, 0, screenPoint(rect.left + 100, rect.top + 150));
    expectEq(java.object.hitTestCalls, callsBefore, "an uninstalled frame no longer asks Java");
    uninstall(java, frame);
    expectEq(fakeCounters().deletedGlobalRefs, 2, "a second uninstall deletes nothing");
    expectEq(static_cast<long long>(borderRecordCount()), 0, "uninstall frees the records");

    expectEq(install(java, frame), toJava(frame), "a frame can be installed again after uninstall");
    uninstall(java, frame);

    HWND destroyed = makeFrame(kSizable, L"destroyed", false);
    DestroyWindow(destroyed);
    expectEq(install(java, destroyed), 0, "install of a destroyed window returns 0");
    expectEq(fakeCounters().liveGlobalRefs, 0, "a refused install keeps no global reference");
    expectEq(static_cast<long long>(borderRecordCount()), 0, "a refused install leaves no record");
    expectEq(fakeCounters().getMethodIdCalls, 3, "later installs do not initialise again");
}

struct CalcResult {
    RECT proposed;
    RECT result;
    LRESULT returned;
};

CalcResult sendCalcSize(HWND hwnd) {
    NCCALCSIZE_PARAMS params{};
    WINDOWPOS position{};
    params.rgrc[0] = params.rgrc[1] = params.rgrc[2] = windowRect(hwnd);
    params.lppos = &position;
    CalcResult calc{params.rgrc[0], {}, 0};
    calc.returned = SendMessageW(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    calc.result = params.rgrc[0];
    return calc;
}

void expectSystemSides(HWND hwnd, const RECT& result, const char* what) {
    const RECT& system = observations[hwnd].systemClient;
    expectTrue(result.left == system.left && result.right == system.right && result.bottom == system.bottom, what);
}

void scenarioCalcSize() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"calcsize");
    installAndRefresh(java, frame);
    const int handle = expectedResizeHandleHeight(frame);
    expectTrue(handle > 0, "the system reports a resize-handle height");

    CalcResult normal = sendCalcSize(frame);
    expectEq(normal.returned, 0, "the frame computation of a normal frame returns 0");
    expectTrue(observations[frame].systemClient.top > normal.proposed.top, "the system alone would keep a caption");
    expectEq(normal.result.top, normal.proposed.top, "a normal frame keeps the proposed top");
    expectSystemSides(frame, normal.result, "a normal frame keeps the system's left, right and bottom");
    expectEq(java.object.fullScreenCalls, 0, "a normal frame does not ask whether it is full screen");

    RECT client{};
    GetClientRect(frame, &client);
    POINT origin{0, 0};
    ClientToScreen(frame, &origin);
    expectEq(origin.y, windowRect(frame).top, "after the frame change the client area starts at the window's top");

    ShowWindow(frame, SW_MAXIMIZE);
    pump();
    expectTrue(IsZoomed(frame) != FALSE, "the frame is maximized");
    const int askedBefore = java.object.fullScreenCalls;
    CalcResult maximized = sendCalcSize(frame);
    expectEq(maximized.result.top, maximized.proposed.top + handle,
             "a maximized frame moves its top down by the resize-handle height");
    expectSystemSides(frame, maximized.result, "with no auto-hide taskbar the other sides stay");
    expectEq(java.object.fullScreenCalls, askedBefore + 1, "a maximized frame asks whether it is full screen");

    java.object.fullScreen = true;
    CalcResult fullScreen = sendCalcSize(frame);
    expectEq(fullScreen.result.top, fullScreen.proposed.top, "a full-screen frame keeps the proposed top");
    expectSystemSides(frame, fullScreen.result, "a full-screen frame keeps the system's other sides");

    {
        Detached detached;
        HWND unattached = makeFrame(kSizable, L"calcsize without environment");
        installAndRefresh(java, unattached);
        ShowWindow(unattached, SW_MAXIMIZE);
        pump();
        const int asked = java.object.fullScreenCalls;
        CalcResult withoutEnv = sendCalcSize(unattached);
        expectEq(java.object.fullScreenCalls, asked, "without a JNI environment Java is not asked");
        expectEq(withoutEnv.result.top, withoutEnv.proposed.top + handle,
                 "without a JNI environment full screen counts as false");
    }

    RECT plain = windowRect(frame);
    const RECT before = plain;
    const int callsBefore = observations[frame].ncCalcCalls;
    expectEq(SendMessageW(frame, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&plain)), 0,
             "the single-rectangle form goes to the previous procedure");
    expectEq(observations[frame].ncCalcCalls, callsBefore + 1, "the previous procedure computed the single rectangle");
    expectTrue(plain.top != before.top || plain.bottom != before.bottom || plain.left != before.left,
               "the single rectangle is the system's, not the border's");
    expectSystemSides(frame, plain, "the single rectangle is left as the previous procedure made it");
    expectEq(plain.top, observations[frame].systemClient.top, "the single rectangle keeps the system's top");
}

void scenarioHitTest() {
    JavaSide java;
    java.object.hitTestAnswer = HTCAPTION;
    HWND sizable = makeFrame(kSizable, L"hittest sizable");
    HWND fixed = makeFrame(kFixedSize, L"hittest fixed");
    installAndRefresh(java, sizable);
    installAndRefresh(java, fixed);
    const int handle = expectedResizeHandleHeight(sizable);
    const RECT s = windowRect(sizable);
    const RECT f = windowRect(fixed);
    auto hit = [](HWND hwnd, const RECT& rect, int x, int y) {
        return SendMessageW(hwnd, WM_NCHITTEST, 0, screenPoint(rect.left + x, rect.top + y));
    };

    expectEq(hit(sizable, s, 50, 2), HTCAPTION, "a hit in the client area answers what Java says");
    expectTrue(java.object.lastHitTest.x == 50 && java.object.lastHitTest.y == 2, "Java receives window coordinates");
    expectTrue(java.object.lastHitTest.onResizeBorder, "the top band of a sizable frame is on the resize border");
    expectEq(fakeCounters().lastGetEnvVersion, 0x10002, "the environment is asked for JNI 1.2");
    hit(sizable, s, 50, handle + 5);
    expectTrue(!java.object.lastHitTest.onResizeBorder && java.object.lastHitTest.y == handle + 5,
               "below the band the point is not on the resize border");
    hit(fixed, f, 50, 2);
    expectTrue(!java.object.lastHitTest.onResizeBorder, "a fixed-size frame has no resize band");

    const int calls = java.object.hitTestCalls;
    expectEq(hit(sizable, s, 1, 150), HTLEFT, "the system's own border answer stands");
    expectEq(java.object.hitTestCalls, calls, "Java is not asked about the system's border");

    {
        Detached detached;
        HWND lonelySizable = makeFrame(kSizable, L"hittest sizable without environment");
        HWND lonelyFixed = makeFrame(kFixedSize, L"hittest fixed without environment");
        installAndRefresh(java, lonelySizable);
        installAndRefresh(java, lonelyFixed);
        const RECT ls = windowRect(lonelySizable);
        const RECT lf = windowRect(lonelyFixed);
        expectEq(hit(lonelySizable, ls, 50, 2), HTTOP, "without a JNI environment the top band is the top border");
        expectEq(hit(lonelySizable, ls, 50, handle + 5), HTCLIENT, "without a JNI environment the rest is client area");
        expectEq(hit(lonelyFixed, lf, 50, 2), HTCLIENT,
                 "without a JNI environment a fixed-size frame has no top border");
        expectEq(hit(lonelySizable, ls, 1, 150), HTLEFT, "without a JNI environment the system's border answer stands");
    }
    expectEq(java.object.hitTestCalls, calls, "without a JNI environment Java is never asked");

    java.object.throwFromHitTest = true;
    expectEq(hit(sizable, s, 50, 2), HTTOP, "an exception from Java falls back to the border's own answer");
    expectTrue(!fakeExceptionPending(), "the exception does not stay pending");
    java.object.throwFromHitTest = false;
    expectEq(hit(sizable, s, 50, 2), HTCAPTION, "the next hit test asks Java normally");
}

std::vector<WPARAM> sizeParamsOfFrameChange(JavaSide& java, HWND hwnd, int state) {
    Observed& seen = observations[hwnd];
    seen.extraBottomInset = seen.extraBottomInset == 0 ? 3 : 0;
    seen.sizeParams.clear();
    updateFrame(java, hwnd, state);
    return seen.sizeParams;
}

void scenarioSizeOverride() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"size override");
    installAndRefresh(java, frame);
    using Params = std::vector<WPARAM>;
    expectTrue(sizeParamsOfFrameChange(java, frame, 6) == Params{SIZE_MAXIMIZED},
               "state 6 makes the previous procedure see SIZE_MAXIMIZED");
    expectTrue(sizeParamsOfFrameChange(java, frame, 0) == Params{SIZE_RESTORED},
               "state 0 passes the system's own kind of a normal frame");
    expectTrue(sizeParamsOfFrameChange(java, frame, 1) == Params{SIZE_MINIMIZED},
               "state 1 makes the previous procedure see SIZE_MINIMIZED");
    expectTrue(sizeParamsOfFrameChange(java, frame, 2) == Params{SIZE_RESTORED},
               "maximized in one direction only is no override");

    Observed& seen = observations[frame];
    seen.sizeParams.clear();
    updateFrame(java, frame, 6);
    seen.sizeParams.clear();
    SetWindowPos(frame, nullptr, 0, 0, 420, 310, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    expectTrue(seen.sizeParams == Params{SIZE_RESTORED}, "after the frame change the override is gone");

    ShowWindow(frame, SW_MAXIMIZE);
    pump();
    expectTrue(sizeParamsOfFrameChange(java, frame, 0) == Params{SIZE_MAXIMIZED},
               "state 0 passes the system's own kind of a maximized frame");

    HWND plain = makeFrame(kSizable, L"size plain");
    const int calcs = observations[plain].ncCalcCalls;
    updateFrame(java, plain, 6);
    expectEq(observations[plain].ncCalcCalls, calcs + 1, "a frame without a record still gets the frame change");
}

COLORREF pixelAfterErase(HWND hwnd, LRESULT& returned, int x, int y) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 600, 600);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all{0, 0, 600, 600};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    returned = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    const COLORREF pixel = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixel;
}

void scenarioBackground() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"background");
    installAndRefresh(java, frame);
    RECT client{};
    GetClientRect(frame, &client);
    const int cx = client.right / 2;
    const int cy = client.bottom / 2;

    const int erasedBefore = observations[frame].eraseCalls;
    LRESULT returned = -1;
    expectEq(pixelAfterErase(frame, returned, cx, cy), RGB(255, 255, 255), "without a colour erasing paints nothing");
    expectEq(returned, 0, "without a colour erasing returns 0");
    expectEq(observations[frame].eraseCalls, erasedBefore, "erasing never reaches the previous procedure");

    exports.setWindowBackground(env(), java.local, toJava(frame), 10, 20, 30);
    HBRUSH first = findBorderRecord(frame)->background;
    // Only the low 8 bits of each component count: 0x1C8 -> 0xC8, -156 -> 0x64, 0x232 -> 0x32.
    exports.setWindowBackground(env(), java.local, toJava(frame), 0x1C8, -156, 0x232);
    const COLORREF colour = RGB(0xC8, 0x64, 0x32);
    HBRUSH second = findBorderRecord(frame)->background;
    {
        expectEq(GetObjectType(first), 0, "the second colour deletes the first brush");
        LOGBRUSH described{};
        GetObject(second, sizeof described, &described);
        expectEq(described.lbColor, colour, "the brush has the second colour");
    }
    expectEq(pixelAfterErase(frame, returned, cx, cy), colour, "erasing fills with the second colour");
    expectEq(returned, 1, "erasing with a colour returns 1");
    expectEq(pixelAfterErase(frame, returned, 0, 0), colour, "erasing fills the whole client rectangle");
    expectEq(pixelAfterErase(frame, returned, client.right + 5, cy), RGB(255, 255, 255),
             "erasing stays inside the client rectangle");

    RedrawWindow(frame, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ERASENOW | RDW_UPDATENOW);
    HDC dc = GetDC(frame);
    expectEq(GetPixel(dc, cx, cy), colour, "the painted frame shows the colour");
    ReleaseDC(frame, dc);

    uninstall(java, frame);
    expectEq(GetObjectType(second), 0, "uninstall deletes the brush");
    exports.setWindowBackground(env(), java.local, toJava(frame), 1, 2, 3);
    expectEq(pixelAfterErase(frame, returned, cx, cy), RGB(255, 255, 255),
             "a colour for a frame without a record is ignored");
}

// Leaves a coloured frame on the screen for a screenshot: prints the client rectangle in
// screen coordinates, then waits until standard input ends.
void scenarioShowBackground() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"border background shown");
    installAndRefresh(java, frame);
    exports.setWindowBackground(env(), java.local, toJava(frame), 10, 20, 30);
    exports.setWindowBackground(env(), java.local, toJava(frame), 40, 160, 90);
    RedrawWindow(frame, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ERASENOW | RDW_UPDATENOW);
    RECT client{};
    GetClientRect(frame, &client);
    POINT origin{0, 0};
    ClientToScreen(frame, &origin);
    std::printf("CLIENT %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    std::fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        pump();
        if (WaitForSingleObject(input, 50) == WAIT_OBJECT_0) {
            char byte;
            DWORD read = 0;
            if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0) break;
        }
    }
    expectTrue(true, "the coloured frame was shown until told to end");
}

bool menuItemEnabled(const Observed& seen, UINT command) {
    auto found = seen.menuStates.find(command);
    return found != seen.menuStates.end() && (found->second & (MF_DISABLED | MF_GRAYED)) == 0;
}

void openMenuWithRightButton(HWND hwnd, WPARAM hitCode) {
    const RECT rect = windowRect(hwnd);
    SendMessageW(hwnd, WM_NCRBUTTONUP, hitCode, screenPoint(rect.left + 60, rect.top + 10));
}

void scenarioSystemMenu() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"system menu");
    installAndRefresh(java, frame);
    // Start from states and a default that are the opposite of what a normal frame needs.
    HMENU menu = GetSystemMenu(frame, FALSE);
    EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(menu, SC_MOVE, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    SetMenuDefaultItem(menu, SC_MOVE, FALSE);

    Observed& seen = observations[frame];
    openMenuWithRightButton(frame, HTCAPTION);
    expectEq(seen.menuOpenings, 1, "a right click on the caption opens the system menu");
    expectTrue(!menuItemEnabled(seen, SC_RESTORE), "normal frame: Restore disabled");
    expectTrue(menuItemEnabled(seen, SC_MOVE), "normal frame: Move enabled");
    expectTrue(menuItemEnabled(seen, SC_SIZE), "normal frame: Size enabled");
    expectTrue(menuItemEnabled(seen, SC_MINIMIZE), "normal frame: Minimize enabled");
    expectTrue(menuItemEnabled(seen, SC_MAXIMIZE), "normal frame: Maximize enabled");
    expectTrue(menuItemEnabled(seen, SC_CLOSE), "normal frame: Close enabled");
    expectEq(seen.menuDefault, SC_CLOSE, "normal frame: Close is the default item");
    expectEq(seen.menuStates[SC_RESTORE] & (MF_DISABLED | MF_GRAYED), MF_DISABLED,
             "disabled items are disabled, not grayed");
    std::vector<MSG> messages = takeMessages(frame);
    expectTrue(findMessage(messages, WM_NCRBUTTONUP) != nullptr, "the previous procedure still sees the button");

    ShowWindow(frame, SW_MAXIMIZE);
    pump();
    SetMenuDefaultItem(menu, SC_MOVE, FALSE);
    openMenuWithRightButton(frame, HTSYSMENU);
    expectEq(seen.menuOpenings, 2, "a right click on the system-menu area opens the menu");
    expectTrue(menuItemEnabled(seen, SC_RESTORE), "maximized frame: Restore enabled");
    expectTrue(!menuItemEnabled(seen, SC_MOVE), "maximized frame: Move disabled");
    expectTrue(!menuItemEnabled(seen, SC_SIZE), "maximized frame: Size disabled");
    expectTrue(menuItemEnabled(seen, SC_MINIMIZE), "maximized frame: Minimize enabled");
    expectTrue(!menuItemEnabled(seen, SC_MAXIMIZE), "maximized frame: Maximize disabled");
    expectTrue(menuItemEnabled(seen, SC_CLOSE), "maximized frame: Close enabled");
    expectEq(seen.menuDefault, SC_CLOSE, "maximized frame: Close is the default item");

    openMenuWithRightButton(frame, HTCLIENT);
    expectEq(seen.menuOpenings, 2, "a right click elsewhere opens no menu");
    messages = takeMessages(frame);
    expectTrue(findMessage(messages, WM_NCRBUTTONUP) != nullptr, "the previous procedure sees that button too");

    // A command chosen in the menu comes back as a posted system command. The keys wait in
    // the queue until the menu's loop reads them: Up selects the last item, Return chooses
    // it. (Wine's system menu may end with an item of its own after Close.)
    const UINT lastCommand = GetMenuItemID(menu, GetMenuItemCount(menu) - 1);
    PostMessageW(frame, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(frame, WM_KEYDOWN, VK_RETURN, 0);
    openMenuWithRightButton(frame, HTCAPTION);
    messages = takeMessages(frame);
    expectTrue(findMessage(messages, WM_SYSCOMMAND) == nullptr, "the command is posted, not sent", describe(messages));
    pump();
    messages = takeMessages(frame);
    const MSG* command = findMessage(messages, WM_SYSCOMMAND);
    expectTrue(command != nullptr && command->wParam == lastCommand && command->lParam == 0,
               "the chosen command is posted as WM_SYSCOMMAND", describe(messages));
}

void scenarioMouse() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"mouse");
    installAndRefresh(java, frame);
    const RECT rect = windowRect(frame);
    const LPARAM screen = screenPoint(rect.left + 70, rect.top + 12);
    const LPARAM inWindow = MAKELPARAM(70, 12);
    takeMessages(frame);

    SendMessageW(frame, WM_NCMOUSEMOVE, HTCAPTION, screen);
    std::vector<MSG> messages = takeMessages(frame);
    expectTrue(messages.size() == 2 && messages[0].message == WM_MOUSEMOVE && messages[0].wParam == 0 &&
                   messages[0].lParam == inWindow && messages[1].message == WM_NCMOUSEMOVE,
               "a move over the caption arrives as a client move in window coordinates, then as itself",
               describe(messages));
    SendMessageW(frame, WM_NCMOUSEMOVE, HTLEFT, screen);
    messages = takeMessages(frame);
    expectTrue(messages.size() == 1 && messages[0].message == WM_NCMOUSEMOVE, "a move over the border stays non-client",
               describe(messages));

    expectEq(SendMessageW(frame, WM_NCLBUTTONDOWN, HTCLOSE, screen), 0, "a press on the close button returns 0");
    messages = takeMessages(frame);
    expectTrue(messages.size() == 1 && messages[0].message == WM_LBUTTONDOWN && messages[0].lParam == inWindow,
               "a press on the close button arrives only as a client press", describe(messages));
    SendMessageW(frame, WM_NCLBUTTONUP, HTMAXBUTTON, screen);
    messages = takeMessages(frame);
    expectTrue(messages.size() == 1 && messages[0].message == WM_LBUTTONUP && messages[0].lParam == inWindow,
               "a release on the maximize button arrives only as a client release", describe(messages));
    SendMessageW(frame, WM_NCLBUTTONDOWN, HTCAPTION, screen);
    messages = takeMessages(frame);
    expectTrue(messages.size() == 1 && messages[0].message == WM_NCLBUTTONDOWN && messages[0].wParam == HTCAPTION,
               "a press on the caption goes to the previous procedure unchanged", describe(messages));
}

void scenarioColour() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"colour");
    installAndRefresh(java, frame);
    takeMessages(frame);
    SendMessageW(frame, WM_DWMCOLORIZATIONCOLORCHANGED, 0x123456, 1);
    expectEq(java.object.stateChangedCalls, 1, "a colour change notifies Java");
    std::vector<MSG> messages = takeMessages(frame);
    expectTrue(messages.size() == 1 && messages[0].wParam == 0x123456, "the previous procedure sees the colour change",
               describe(messages));
    Detached detached;
    HWND lonely = makeFrame(kSizable, L"colour without environment");
    installAndRefresh(java, lonely);
    takeMessages(lonely);
    SendMessageW(lonely, WM_DWMCOLORIZATIONCOLORCHANGED, 0x654321, 1);
    expectEq(java.object.stateChangedCalls, 1, "without a JNI environment the notification is skipped");
    messages = takeMessages(lonely);
    expectTrue(messages.size() == 1 && messages[0].wParam == 0x654321, "the previous procedure still sees the change",
               describe(messages));
}

void scenarioDestroy() {
    JavaSide java;
    HWND first = makeFrame(kSizable, L"destroy first");
    HWND third = makeFrame(kSizable, L"destroy third");
    installAndRefresh(java, first);
    installAndRefresh(java, third);
    fakeSetAttached(false);
    HWND second = makeFrame(kSizable, L"destroy second without environment");
    installAndRefresh(java, second);
    fakeSetAttached(true);
    const LONG_PTR original = GetWindowLongPtrW(third, GWLP_WNDPROC);  // the border's
    exports.setWindowBackground(env(), java.local, toJava(first), 1, 2, 3);
    HBRUSH brush = findBorderRecord(first)->background;

    DestroyWindow(first);
    expectTrue(findMessage(takeMessages(first), WM_DESTROY) != nullptr, "the previous procedure sees WM_DESTROY");
    expectEq(observations[first].procAtNcDestroy, reinterpret_cast<LONG_PTR>(&frameProc),
             "destruction restores the previous procedure");
    expectEq(fakeCounters().liveGlobalRefs, 2, "destruction deletes the global reference");
    {
        expectTrue(findBorderRecord(first) == nullptr, "destruction frees the record");
        expectEq(static_cast<long long>(borderRecordCount()), 2, "the other records stay");
        expectEq(GetObjectType(brush), 0, "destruction deletes the brush");
    }

    fakeSetAttached(false);
    DestroyWindow(second);
    fakeSetAttached(true);
    expectTrue(findMessage(takeMessages(second), WM_DESTROY) != nullptr,
               "without a JNI environment the previous procedure still sees WM_DESTROY");
    expectEq(fakeCounters().liveGlobalRefs, 2, "without a JNI environment the global reference is left alone");
    expectEq(fakeCounters().misuse, 0, "without a JNI environment nothing calls through a null environment");
    expectEq(static_cast<long long>(borderRecordCount()), 1, "the record is freed all the same");

    expectEq(GetWindowLongPtrW(third, GWLP_WNDPROC), original, "the remaining frame is still subclassed");
    uninstall(java, first);
    uninstall(java, second);
    expectEq(fakeCounters().deletedGlobalRefs, 1, "uninstall of destroyed frames deletes nothing more");
    uninstall(java, third);
    expectEq(fakeCounters().liveGlobalRefs, 1,
             "only the reference of the frame destroyed without an environment remains");
}

const wchar_t kTestKey[] = L"Software\\RavelBorderTest";

void setValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS) {
        std::printf("FAIL - the test key could not be created\n");
        std::exit(1);
    }
    RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(opened);
}

jint readValue(const std::u16string& key, const std::u16string& name, jint defaultValue) {
    return exports.registryGetIntValue(env(), nullptr, fakeString(key), fakeString(name), defaultValue);
}

void scenarioRegistry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    const DWORD dword = 0x12345678;
    const DWORD negative = 0xFFFFFFFE;
    const BYTE fourBytes[] = {0x78, 0x56, 0x34, 0x12};
    const BYTE eightBytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    const BYTE twoBytes[] = {1, 2};
    const unsigned long long qword = 5;
    const wchar_t text[] = L"42";
    setValue(kTestKey, L"Dword", REG_DWORD, &dword, sizeof dword);
    setValue(kTestKey, L"Negative", REG_DWORD, &negative, sizeof negative);
    setValue(kTestKey, L"Binary4", REG_BINARY, fourBytes, sizeof fourBytes);
    setValue(kTestKey, L"Binary8", REG_BINARY, eightBytes, sizeof eightBytes);
    setValue(kTestKey, L"Binary2", REG_BINARY, twoBytes, sizeof twoBytes);
    setValue(kTestKey, L"Qword", REG_QWORD, &qword, sizeof qword);
    setValue(kTestKey, L"Text", REG_SZ, text, sizeof text);
    setValue(std::wstring(kTestKey) + L"\\Schl\u00fcssel \u65e5\u672c", L"Wert \u00e9", REG_DWORD, &dword,
             sizeof dword);

    const std::u16string key = u"Software\\RavelBorderTest";
    expectEq(readValue(key, u"Dword", -1), 0x12345678, "a DWORD value is read");
    expectEq(readValue(key, u"Negative", 0), -2, "a DWORD above 0x7FFFFFFF arrives as a negative int");
    expectEq(readValue(key, u"Binary4", -1), 0x12345678, "a 4-byte binary value is read");
    expectEq(readValue(key, u"Binary8", -7), -7, "an 8-byte binary value gives the default");
    expectEq(readValue(key, u"Binary2", -7), -7, "a 2-byte binary value gives the default");
    expectEq(readValue(key, u"Qword", -7), -7, "a QWORD value gives the default");
    expectEq(readValue(key, u"Text", -7), -7, "a string value gives the default");
    expectEq(readValue(key, u"Missing", 99), 99, "a missing value gives the default");
    expectEq(readValue(u"Software\\RavelBorderTest\\Missing", u"Dword", 98), 98, "a missing key gives the default");
    expectEq(readValue(u"Software\\RavelBorderTest\\Schl\u00fcssel \u65e5\u672c", u"Wert \u00e9", -1), 0x12345678,
             "key and value names outside the ANSI code page are found");
    expectEq(exports.registryGetIntValue(env(), nullptr, nullptr, fakeString(u"Dword"), 97), 97,
             "a null key gives the default");
    expectEq(exports.registryGetIntValue(env(), nullptr, fakeString(key), nullptr, 96), 96,
             "a null value name gives the default");
    expectEq(fakeCounters().stringCharsHeld, 0, "every string's characters are released");
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

void scenarioShow() {
    JavaSide java;
    HWND frame = makeFrame(kSizable, L"show", false);
    expectEq(exports.showWindow(env(), java.local, toJava(frame), SW_SHOWNORMAL), 0,
             "showing a hidden window returns the system's 0 (it was hidden)");
    expectTrue(IsWindowVisible(frame) != FALSE, "the window is shown");
    expectTrue(exports.showWindow(env(), java.local, toJava(frame), SW_HIDE) != 0,
               "hiding a visible window returns the system's non-zero");
    expectTrue(IsWindowVisible(frame) == FALSE, "the window is hidden");
}

// Initialisation fails for good when the Java class lacks a callback.
void scenarioMissingMethod() {
    JavaSide incomplete;
    incomplete.type.hasIsFullscreen = false;
    HWND frame = makeFrame(kSizable, L"missing method");
    const LONG_PTR original = GetWindowLongPtrW(frame, GWLP_WNDPROC);
    expectEq(install(incomplete, frame), 0, "install returns 0 when a Java method is missing");
    expectTrue(!fakeExceptionPending(), "the lookup's exception does not reach Java");
    expectEq(GetWindowLongPtrW(frame, GWLP_WNDPROC), original, "the window is not subclassed");
    expectEq(fakeCounters().liveGlobalRefs, 0, "no global reference is kept");
    const int lookups = fakeCounters().getMethodIdCalls;
    JavaSide complete;
    expectEq(install(complete, frame), 0, "a later install with a complete class still returns 0");
    expectEq(fakeCounters().getMethodIdCalls, lookups, "initialisation is not tried again");
    expectEq(borderSupportState(), kBorderFailed, "the support state stays failed");
}

const std::map<std::string, std::function<void()>> scenarios = {
    {"install", scenarioInstall},
    {"calcsize", scenarioCalcSize},
    {"hittest", scenarioHitTest},
    {"size-override", scenarioSizeOverride},
    {"background", scenarioBackground},
    {"show-background", scenarioShowBackground},
    {"system-menu", scenarioSystemMenu},
    {"mouse", scenarioMouse},
    {"colour", scenarioColour},
    {"destroy", scenarioDestroy},
    {"registry", scenarioRegistry},
    {"show", scenarioShow},
    {"missing-method", scenarioMissingMethod},
};

DWORD WINAPI watchdog(void*) {
    Sleep(90000);
    std::printf("FAIL - the scenario did not end within 90 seconds\n");
    std::fflush(stdout);
    ExitProcess(3);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: bordertest <scenario>\n");
        return 2;
    }
    std::string name;
    for (const wchar_t* c = argv[1]; *c; ++c) name.push_back(static_cast<char>(*c));
    auto scenario = scenarios.find(name);
    if (scenario == scenarios.end()) {
        std::printf("unknown scenario %s\n", name.c_str());
        return 2;
    }
    CloseHandle(CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr));
    fakeSetAttached(true);
    scenario->second();
    expectEq(fakeCounters().misuse, 0, "the border used JNI by its rules");
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
