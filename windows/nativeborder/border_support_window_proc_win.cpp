// The subclass window procedure of a frame with the native border: the caption becomes
// client area that the Java side paints, while hit-testing, the system menu and the size
// messages keep behaving like those of a standard frame.
#include "nativeborder/border_support.h"

#include "nativeborder/border_support_rules.h"

#include <shellapi.h>

// The rules restate these Windows values so that they build natively; a mismatch would make
// the window procedure answer with the wrong code, so the build refuses it.
static_assert(border::kStyleThickFrame == WS_THICKFRAME, "window style: thick frame");
static_assert(border::kStyleMinimizeBox == WS_MINIMIZEBOX, "window style: minimize box");
static_assert(border::kStyleMaximizeBox == WS_MAXIMIZEBOX, "window style: maximize box");
static_assert(border::kHitClient == HTCLIENT && border::kHitCaption == HTCAPTION &&
                  border::kHitSystemMenu == HTSYSMENU && border::kHitMinimizeButton == HTMINBUTTON &&
                  border::kHitMaximizeButton == HTMAXBUTTON && border::kHitTop == HTTOP && border::kHitClose == HTCLOSE,
              "hit-test codes");
static_assert(border::kCommandSize == SC_SIZE && border::kCommandMove == SC_MOVE &&
                  border::kCommandMinimize == SC_MINIMIZE && border::kCommandMaximize == SC_MAXIMIZE &&
                  border::kCommandClose == SC_CLOSE && border::kCommandRestore == SC_RESTORE,
              "system menu commands");
static_assert(border::kSizeMinimized == SIZE_MINIMIZED && border::kSizeMaximized == SIZE_MAXIMIZED,
              "size message kinds");
static_assert(border::kEdgeLeft == ABE_LEFT && border::kEdgeTop == ABE_TOP && border::kEdgeRight == ABE_RIGHT &&
                  border::kEdgeBottom == ABE_BOTTOM,
              "app bar edges");

namespace {

LRESULT callPrevious(const NativeWndProc* record, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(record->previousProc, hwnd, msg, wParam, lParam);
}

// After a call that runs other code on this thread (a sent message, a modal menu), the
// window may have been uninstalled or destroyed and the record freed, so the record is
// looked up again; with none left the message is dropped as for an unknown window.
LRESULT callPreviousAfterCallOut(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const NativeWndProc* record = findBorderRecord(hwnd);
    return record != nullptr ? callPrevious(record, hwnd, msg, wParam, lParam) : 0;
}

LRESULT onDestroy(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // Taking the record out of the map first makes this thread its only owner, even if a
    // Java thread uninstalls the frame at the same moment.
    NativeWndProc* record = takeBorderRecord(hwnd);
    if (record == nullptr) return 0;
    const WNDPROC previous = record->previousProc;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    // A thread that is not attached to the VM cannot delete the global reference; the Java
    // object then stays referenced (a small leak), which is better than calling through a
    // null environment.
    if (JNIEnv* env = recordEnv(record)) env->DeleteGlobalRef(record->wndProc);
    deleteBackgroundBrush(record->background);
    delete record;
    return CallWindowProcA(previous, hwnd, msg, wParam, lParam);
}

LRESULT onEraseBackground(const NativeWndProc* record, HWND hwnd, WPARAM wParam) {
    if (record->background == nullptr) return 0;
    RECT client{};
    GetClientRect(hwnd, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, record->background);
    return 1;
}

border::FrameKind frameKind(NativeWndProc* record, HWND hwnd) {
    if (!IsZoomed(hwnd)) return border::FrameKind::Normal;
    return javaIsFullscreen(record) ? border::FrameKind::FullScreen : border::FrameKind::Maximized;
}

// The edges of the window's monitor that hold an auto-hiding taskbar, one bit per edge.
unsigned autoHideEdges(HWND hwnd) {
    if (!taskbarAutoHides()) return 0;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) return 0;
    unsigned edges = 0;
    for (int edge : border::kAutoHideEdgeOrder)
        if (hasAutoHideTaskbar(static_cast<UINT>(edge), monitor.rcMonitor)) edges |= 1u << edge;
    return edges;
}

LRESULT onNcCalcSize(NativeWndProc* record, HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (wParam != TRUE) return callPrevious(record, hwnd, WM_NCCALCSIZE, wParam, lParam);
    RECT& client = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0];
    const LONG proposedTop = client.top;
    const LRESULT previous = callPrevious(record, hwnd, WM_NCCALCSIZE, TRUE, lParam);
    if (previous != 0) return previous;
    const border::FrameKind kind = frameKind(record, hwnd);
    const bool maximized = kind == border::FrameKind::Maximized;
    const border::Edges edges =
        border::captionlessClientRect({client.left, client.top, client.right, client.bottom}, proposedTop, kind,
                                      maximized ? resizeHandleHeight(record) : 0, maximized ? autoHideEdges(hwnd) : 0);
    client = RECT{edges.left, edges.top, edges.right, edges.bottom};
    return 0;
}

LRESULT onNcHitTest(NativeWndProc* record, HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const LRESULT hit = callPrevious(record, hwnd, WM_NCHITTEST, wParam, lParam);
    if (hit != HTCLIENT) return hit;
    const uintptr_t point = static_cast<uintptr_t>(toWindowCoordinates(hwnd, lParam));
    const int x = border::pointX(point);
    const int y = border::pointY(point);
    const uint32_t style = static_cast<uint32_t>(GetWindowLongA(hwnd, GWL_STYLE));
    return javaHitTest(record, x, y, border::isOnResizeBorder(y, resizeHandleHeight(record), style));
}

LRESULT onNcMouseMove(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (border::forwardsMouseMove(wParam)) SendMessageA(hwnd, WM_MOUSEMOVE, 0, toWindowCoordinates(hwnd, lParam));
    return callPreviousAfterCallOut(hwnd, WM_NCMOUSEMOVE, wParam, lParam);
}

LRESULT onNcLeftButton(const NativeWndProc* record, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!border::forwardsButton(wParam)) return callPrevious(record, hwnd, msg, wParam, lParam);
    SendMessageA(hwnd, msg == WM_NCLBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, toWindowCoordinates(hwnd, lParam));
    return 0;
}

LRESULT onNcRightButtonUp(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const uintptr_t point = static_cast<uintptr_t>(lParam);
    if (border::opensSystemMenu(wParam)) openSystemMenu(hwnd, border::pointX(point), border::pointY(point));
    return callPreviousAfterCallOut(hwnd, WM_NCRBUTTONUP, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK borderWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    NativeWndProc* record = findBorderRecord(hwnd);
    if (record == nullptr) return 0;
    switch (msg) {
    case WM_DESTROY:
        return onDestroy(hwnd, msg, wParam, lParam);
    case WM_SIZE:
        return callPrevious(record, hwnd, msg, border::sizeMessageParam(record->sizeMessageOverride, wParam), lParam);
    case WM_ERASEBKGND:
        return onEraseBackground(record, hwnd, wParam);
    case WM_NCCALCSIZE:
        return onNcCalcSize(record, hwnd, wParam, lParam);
    case WM_NCHITTEST:
        return onNcHitTest(record, hwnd, wParam, lParam);
    case WM_NCMOUSEMOVE:
        return onNcMouseMove(hwnd, wParam, lParam);
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
        return onNcLeftButton(record, hwnd, msg, wParam, lParam);
    case WM_NCRBUTTONUP:
        return onNcRightButtonUp(hwnd, wParam, lParam);
    case WM_DWMCOLORIZATIONCOLORCHANGED:
        javaFireStateChanged(record);
        return callPrevious(record, hwnd, msg, wParam, lParam);
    default:
        return callPrevious(record, hwnd, msg, wParam, lParam);
    }
}
