// Decisions of the native window border that need no window: which size message the frame
// sees, which system-menu commands are offered, where the resize band lies, which
// non-client mouse messages are passed on as client ones, and how the client rectangle of
// a maximized frame is cut. The Win32 window procedure asks these and does what they say.
#pragma once

#include <array>
#include <cstdint>

namespace border {

// Window style bits the rules look at. These and the Windows values below restate the Windows
// headers so the rules build natively; border_window_proc_win.cpp checks them against the headers.
constexpr uint32_t kStyleThickFrame = 0x40000;
constexpr uint32_t kStyleMinimizeBox = 0x20000;
constexpr uint32_t kStyleMaximizeBox = 0x10000;

// Hit-test codes.
constexpr int kHitClient = 1;
constexpr int kHitCaption = 2;
constexpr int kHitSystemMenu = 3;
constexpr int kHitMinimizeButton = 8;
constexpr int kHitMaximizeButton = 9;
constexpr int kHitTop = 12;
constexpr int kHitClose = 20;

// System commands of the window menu.
constexpr unsigned kCommandSize = 0xF000;
constexpr unsigned kCommandMove = 0xF010;
constexpr unsigned kCommandMinimize = 0xF020;
constexpr unsigned kCommandMaximize = 0xF030;
constexpr unsigned kCommandClose = 0xF060;
constexpr unsigned kCommandRestore = 0xF120;

// Size-message kinds.
constexpr int kSizeMinimized = 1;
constexpr int kSizeMaximized = 2;
constexpr int kNoSizeOverride = -1;

// Java frame-state bits handed to updateFrame.
constexpr int kStateIconified = 1;
constexpr int kStateMaximizedBoth = 6;

// The size-message kind a frame in Java `state` must report while its frame is recomputed:
// minimized when iconified, maximized when maximized in both directions, else no override
// (the system's own kind stands).
int sizeOverrideForState(int state);
// The wParam the previous window procedure sees for a size message.
uintptr_t sizeMessageParam(int sizeOverride, uintptr_t systemParam);

struct MenuItemState {
    unsigned command;
    bool enabled;
};
// The enabled state of every command of the window menu for a window of `style`.
std::array<MenuItemState, 6> systemMenuStates(uint32_t style, bool maximized);

// Whether a point `y` pixels below the window's top edge lies in the band where the Java
// title bar must let the user drag the top border.
bool isOnResizeBorder(int y, int resizeHandleHeight, uint32_t style);
// The hit-test answer when the Java side cannot be asked.
int fallbackHitTest(bool onResizeBorder);

// Non-client mouse events over the parts the Java title bar draws itself are passed to it as
// client mouse events.
bool forwardsMouseMove(uintptr_t hitCode);
bool forwardsButton(uintptr_t hitCode);
bool opensSystemMenu(uintptr_t hitCode);

// A mouse position as packed in lParam (x in the low 16 bits, y in the next 16).
int16_t pointX(uintptr_t packed);
int16_t pointY(uintptr_t packed);
// Screen position `packed` moved to window coordinates of a window whose top-left corner is
// at (left, top); each coordinate is cut to 16 bits and packed again.
uint32_t windowPoint(uintptr_t packed, int32_t left, int32_t top);

struct Edges {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};
// Screen edges in the app-bar numbering, in the order the shell is asked about them.
constexpr int kEdgeLeft = 0;
constexpr int kEdgeTop = 1;
constexpr int kEdgeRight = 2;
constexpr int kEdgeBottom = 3;
constexpr std::array<int, 4> kAutoHideEdgeOrder = {kEdgeTop, kEdgeBottom, kEdgeLeft, kEdgeRight};

// How the frame's client rectangle is cut from the system's answer.
enum class FrameKind { Normal, Maximized, FullScreen };

// The client rectangle of a frame without caption: the system's left, right and bottom
// borders stay and the caption becomes client area (the proposed top comes back). A
// maximized window hangs its borders off the monitor, so its top moves down by the resize
// handle height, and each edge that holds an auto-hiding taskbar (bit 1 << edge in
// `autoHideEdges`) gives up one pixel, which lets the mouse reach the taskbar.
Edges captionlessClientRect(Edges system, int32_t proposedTop, FrameKind kind, int resizeHandleHeight,
                            unsigned autoHideEdges);

}  // namespace border
