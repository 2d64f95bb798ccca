#include "nativeborder/border_support_rules.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace border;

std::map<unsigned, bool> menuStates(uint32_t style, bool maximized) {
    std::map<unsigned, bool> states;
    for (const MenuItemState& item : systemMenuStates(style, maximized)) states[item.command] = item.enabled;
    return states;
}

constexpr uint32_t kSizableWithBoxes = kStyleThickFrame | kStyleMinimizeBox | kStyleMaximizeBox;

TEST(BorderSizeOverride, IconifiedWinsOverMaximizedAndOnlyBothDirectionsCountAsMaximized) {
    EXPECT_EQ(sizeOverrideForState(0), kNoSizeOverride);
    EXPECT_EQ(sizeOverrideForState(1), kSizeMinimized);
    EXPECT_EQ(sizeOverrideForState(7), kSizeMinimized);
    EXPECT_EQ(sizeOverrideForState(6), kSizeMaximized);
    EXPECT_EQ(sizeOverrideForState(2), kNoSizeOverride);
    EXPECT_EQ(sizeOverrideForState(4), kNoSizeOverride);
}

TEST(BorderSizeOverride, AnyOverrideOfZeroOrMoreReplacesTheSystemsKind) {
    EXPECT_EQ(sizeMessageParam(kNoSizeOverride, 2u), 2u);
    EXPECT_EQ(sizeMessageParam(kNoSizeOverride, 0u), 0u);
    EXPECT_EQ(sizeMessageParam(kSizeMaximized, 0u), 2u);
    EXPECT_EQ(sizeMessageParam(kSizeMinimized, 2u), 1u);
    EXPECT_EQ(sizeMessageParam(0, 2u), 0u);
}

TEST(BorderSystemMenu, NormalSizableWindowOffersEverythingButRestore) {
    const std::map<unsigned, bool> expected{{kCommandRestore, false}, {kCommandMove, true},     {kCommandSize, true},
                                            {kCommandMinimize, true}, {kCommandMaximize, true}, {kCommandClose, true}};
    EXPECT_EQ(menuStates(kSizableWithBoxes, false), expected);
}

TEST(BorderSystemMenu, MaximizedWindowOffersRestoreButNotMoveSizeOrMaximize) {
    const std::map<unsigned, bool> expected{{kCommandRestore, true},  {kCommandMove, false},     {kCommandSize, false},
                                            {kCommandMinimize, true}, {kCommandMaximize, false}, {kCommandClose, true}};
    EXPECT_EQ(menuStates(kSizableWithBoxes, true), expected);
}

TEST(BorderSystemMenu, StyleWithoutFrameOrBoxesOffersOnlyMoveAndClose) {
    const std::map<unsigned, bool> expected{{kCommandRestore, false},  {kCommandMove, true},
                                            {kCommandSize, false},     {kCommandMinimize, false},
                                            {kCommandMaximize, false}, {kCommandClose, true}};
    EXPECT_EQ(menuStates(0, false), expected);
    // Each box stands on its own bit.
    EXPECT_TRUE(menuStates(kStyleMinimizeBox, false)[kCommandMinimize]);
    EXPECT_FALSE(menuStates(kStyleMinimizeBox, false)[kCommandMaximize]);
    EXPECT_TRUE(menuStates(kStyleMaximizeBox, false)[kCommandMaximize]);
    EXPECT_FALSE(menuStates(kStyleMaximizeBox, false)[kCommandSize]);
}

TEST(BorderHitTest, ResizeBandIsTheTopHandleHeightOfSizableWindowsOnly) {
    EXPECT_TRUE(isOnResizeBorder(0, 8, kStyleThickFrame));
    EXPECT_TRUE(isOnResizeBorder(7, 8, kStyleThickFrame));
    EXPECT_FALSE(isOnResizeBorder(8, 8, kStyleThickFrame));
    EXPECT_FALSE(isOnResizeBorder(3, 8, kStyleMinimizeBox | kStyleMaximizeBox));
    EXPECT_EQ(fallbackHitTest(true), kHitTop);
    EXPECT_EQ(fallbackHitTest(false), kHitClient);
}

TEST(BorderHitTest, OnlyTheTitleBarPartsTurnIntoClientMouseEvents) {
    for (uintptr_t code : {2u, 3u, 8u, 9u, 20u}) EXPECT_TRUE(forwardsMouseMove(code)) << code;
    for (uintptr_t code : {0u, 1u, 10u, 12u, 21u}) EXPECT_FALSE(forwardsMouseMove(code)) << code;
    for (uintptr_t code : {8u, 9u, 20u}) EXPECT_TRUE(forwardsButton(code)) << code;
    for (uintptr_t code : {1u, 2u, 3u}) EXPECT_FALSE(forwardsButton(code)) << code;
    EXPECT_TRUE(opensSystemMenu(2));
    EXPECT_TRUE(opensSystemMenu(3));
    EXPECT_FALSE(opensSystemMenu(1));
    EXPECT_FALSE(opensSystemMenu(20));
}

TEST(BorderWindowPoint, MovesScreenPositionsToTheWindowsCornerInSigned16Bits) {
    const uint32_t inside = windowPoint(0x00C80190u, 100, 50);  // (400, 200) on screen
    EXPECT_EQ(pointX(inside), 300);
    EXPECT_EQ(pointY(inside), 150);
    // A monitor left of the primary one: x = -100 on screen, window at x = -200.
    const uint32_t negative = windowPoint(0x0010FF9Cu, -200, 0);
    EXPECT_EQ(pointX(negative), 100);
    EXPECT_EQ(pointY(negative), 16);
    // Above the window's top edge the coordinate is negative, not a large positive one.
    const uint32_t above = windowPoint(0x00050005u, 0, 10);
    EXPECT_EQ(pointY(above), -5);
    EXPECT_EQ(above >> 16, 0xFFFBu);
}

TEST(BorderClientRect, NormalAndFullScreenFramesGetTheProposedTopBack) {
    const Edges system{8, 31, 792, 592};
    for (FrameKind kind : {FrameKind::Normal, FrameKind::FullScreen}) {
        const Edges client = captionlessClientRect(system, 0, kind, 8, 1u << kEdgeBottom);
        EXPECT_EQ(client.top, 0);
        EXPECT_EQ(client.left, 8);
        EXPECT_EQ(client.right, 792);
        EXPECT_EQ(client.bottom, 592);
    }
}

TEST(BorderClientRect, MaximizedFrameKeepsItsTopResizeHandleOffTheMonitor) {
    const Edges client = captionlessClientRect({0, 23, 800, 600}, -8, FrameKind::Maximized, 8, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
}

TEST(BorderClientRect, EachAutoHideTaskbarEdgeGivesUpOnePixel) {
    const Edges bottomOnly = captionlessClientRect({0, 23, 800, 600}, -8, FrameKind::Maximized, 8, 1u << kEdgeBottom);
    EXPECT_EQ(bottomOnly.top, 0);
    EXPECT_EQ(bottomOnly.bottom, 599);
    EXPECT_EQ(bottomOnly.left, 0);
    const unsigned all = (1u << kEdgeLeft) | (1u << kEdgeTop) | (1u << kEdgeRight) | (1u << kEdgeBottom);
    const Edges every = captionlessClientRect({0, 23, 800, 600}, -8, FrameKind::Maximized, 8, all);
    EXPECT_EQ(every.left, 1);
    EXPECT_EQ(every.top, 1);
    EXPECT_EQ(every.right, 799);
    EXPECT_EQ(every.bottom, 599);
}

}  // namespace
