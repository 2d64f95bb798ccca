#include "nativeborder/border_support_rules.h"

namespace border {

int sizeOverrideForState(int state) {
    if (state & kStateIconified) return kSizeMinimized;
    if ((state & kStateMaximizedBoth) == kStateMaximizedBoth) return kSizeMaximized;
    return kNoSizeOverride;
}

uintptr_t sizeMessageParam(int sizeOverride, uintptr_t systemParam) {
    return sizeOverride >= 0 ? static_cast<uintptr_t>(sizeOverride) : systemParam;
}

std::array<MenuItemState, 6> systemMenuStates(uint32_t style, bool maximized) {
    const bool sizable = (style & kStyleThickFrame) != 0;
    return {{
        {kCommandRestore, maximized},
        {kCommandMove, !maximized},
        {kCommandSize, sizable && !maximized},
        {kCommandMinimize, (style & kStyleMinimizeBox) != 0},
        {kCommandMaximize, (style & kStyleMaximizeBox) != 0 && !maximized},
        {kCommandClose, true},
    }};
}

bool isOnResizeBorder(int y, int resizeHandleHeight, uint32_t style) {
    return y < resizeHandleHeight && (style & kStyleThickFrame) != 0;
}

int fallbackHitTest(bool onResizeBorder) { return onResizeBorder ? kHitTop : kHitClient; }

bool forwardsMouseMove(uintptr_t hitCode) {
    switch (hitCode) {
    case kHitCaption:
    case kHitSystemMenu:
    case kHitMinimizeButton:
    case kHitMaximizeButton:
    case kHitClose:
        return true;
    default:
        return false;
    }
}

bool forwardsButton(uintptr_t hitCode) {
    return hitCode == kHitMinimizeButton || hitCode == kHitMaximizeButton || hitCode == kHitClose;
}

bool opensSystemMenu(uintptr_t hitCode) { return hitCode == kHitCaption || hitCode == kHitSystemMenu; }

int16_t pointX(uintptr_t packed) { return static_cast<int16_t>(static_cast<uint16_t>(packed & 0xFFFF)); }

int16_t pointY(uintptr_t packed) { return static_cast<int16_t>(static_cast<uint16_t>((packed >> 16) & 0xFFFF)); }

uint32_t windowPoint(uintptr_t packed, int32_t left, int32_t top) {
    // Unsigned arithmetic wraps, which is the 16-bit truncation the packed form needs; it
    // also makes the result independent of whether the screen coordinates were negative.
    const uint32_t x = (static_cast<uint32_t>(packed & 0xFFFF) - static_cast<uint32_t>(left)) & 0xFFFF;
    const uint32_t y = (static_cast<uint32_t>((packed >> 16) & 0xFFFF) - static_cast<uint32_t>(top)) & 0xFFFF;
    return x | (y << 16);
}

Edges captionlessClientRect(Edges system, int32_t proposedTop, FrameKind kind, int resizeHandleHeight,
                            unsigned autoHideEdges) {
    Edges client = system;
    client.top = proposedTop;
    if (kind != FrameKind::Maximized) return client;
    client.top += resizeHandleHeight;
    if (autoHideEdges & (1u << kEdgeTop)) client.top += 1;
    if (autoHideEdges & (1u << kEdgeBottom)) client.bottom -= 1;
    if (autoHideEdges & (1u << kEdgeLeft)) client.left += 1;
    if (autoHideEdges & (1u << kEdgeRight)) client.right -= 1;
    return client;
}

}  // namespace border
