#include "nativeborder/window_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

const void* handle(uintptr_t value) { return reinterpret_cast<const void*>(value); }
NativeWndProc* record(uintptr_t value) { return reinterpret_cast<NativeWndProc*>(value); }

std::vector<uintptr_t> handlesInOrder(const WindowMap& map) {
    std::vector<uintptr_t> handles;
    for (size_t i = 0; i < map.count(); ++i) handles.push_back(reinterpret_cast<uintptr_t>(map.handleAt(i)));
    return handles;
}

TEST(WindowMap, KeepsPairsSortedByTheLow32BitsReadAsSigned) {
    WindowMap map;
    // 0x80000010 and 0xFFFFFF00 are negative as signed 32-bit values, so they sort first.
    for (uintptr_t h : {0x30u, 0x80000010u, 0x10u, 0x7FFFFFF0u, 0xFFFFFF00u, 0x20u})
        ASSERT_TRUE(map.put(handle(h), record(h + 1)));
    EXPECT_EQ(handlesInOrder(map),
              (std::vector<uintptr_t>{0x80000010u, 0xFFFFFF00u, 0x10u, 0x20u, 0x30u, 0x7FFFFFF0u}));
    for (uintptr_t h : {0x30u, 0x80000010u, 0x10u, 0x7FFFFFF0u, 0xFFFFFF00u, 0x20u})
        EXPECT_EQ(map.get(handle(h)), record(h + 1)) << std::hex << h;
}

TEST(WindowMap, HandlesThatDifferOnlyAbove32BitsAreTheSameWindow) {
    if (sizeof(uintptr_t) < 8) GTEST_SKIP() << "handles have no bits above 32 here";
    WindowMap map;
    ASSERT_TRUE(map.put(handle(0x1234), record(1)));
    const uintptr_t signExtended = static_cast<uintptr_t>(UINT64_C(0xFFFFFFFF00001234));
    EXPECT_EQ(map.get(handle(signExtended)), record(1));
    ASSERT_TRUE(map.put(handle(signExtended), record(2)));
    EXPECT_EQ(map.count(), 1u);
    EXPECT_EQ(map.get(handle(0x1234)), record(2));
}

TEST(WindowMap, PutOnAPresentHandleReplacesItsRecord) {
    WindowMap map;
    ASSERT_TRUE(map.put(handle(0x10), record(1)));
    ASSERT_TRUE(map.put(handle(0x20), record(2)));
    ASSERT_TRUE(map.put(handle(0x10), record(3)));
    EXPECT_EQ(map.count(), 2u);
    EXPECT_EQ(map.get(handle(0x10)), record(3));
    EXPECT_EQ(map.get(handle(0x20)), record(2));
}

TEST(WindowMap, SearchForAMissingHandleFindsNothingAnywhereInTheOrder) {
    WindowMap map;
    EXPECT_EQ(map.get(handle(0x10)), nullptr);  // empty map
    for (uintptr_t h : {0x10u, 0x30u, 0x50u}) ASSERT_TRUE(map.put(handle(h), record(h)));
    for (uintptr_t missing : {0x08u, 0x20u, 0x40u, 0x60u, 0x80000000u, 0u})
        EXPECT_EQ(map.get(handle(missing)), nullptr) << std::hex << missing;
}

TEST(WindowMap, RemoveClosesTheGapAndHandsOverTheRecord) {
    WindowMap map;
    for (uintptr_t h : {0x10u, 0x20u, 0x30u, 0x40u}) ASSERT_TRUE(map.put(handle(h), record(h + 1)));
    NativeWndProc* removed = nullptr;
    ASSERT_TRUE(map.remove(handle(0x20), &removed));
    EXPECT_EQ(removed, record(0x21));
    ASSERT_TRUE(map.remove(handle(0x40)));  // the last pair
    ASSERT_TRUE(map.remove(handle(0x10)));  // the first pair
    EXPECT_EQ(handlesInOrder(map), (std::vector<uintptr_t>{0x30u}));
    EXPECT_EQ(map.get(handle(0x30)), record(0x31));
    EXPECT_EQ(map.get(handle(0x20)), nullptr);
}

TEST(WindowMap, RemovingAHandleTwiceChangesNothingTheSecondTime) {
    WindowMap map;
    EXPECT_FALSE(map.remove(handle(0x10)));  // empty map
    for (uintptr_t h : {0x10u, 0x20u, 0x30u}) ASSERT_TRUE(map.put(handle(h), record(h)));
    ASSERT_TRUE(map.remove(handle(0x30)));
    NativeWndProc* removed = record(0x99);
    EXPECT_FALSE(map.remove(handle(0x30), &removed));
    EXPECT_EQ(removed, record(0x99));
    EXPECT_EQ(map.count(), 2u);
    EXPECT_EQ(handlesInOrder(map), (std::vector<uintptr_t>{0x10u, 0x20u}));
    // Emptying the map and removing once more stays inside the array.
    ASSERT_TRUE(map.remove(handle(0x10)));
    ASSERT_TRUE(map.remove(handle(0x20)));
    EXPECT_FALSE(map.remove(handle(0x20)));
    EXPECT_EQ(map.count(), 0u);
}

TEST(WindowMap, RemovingFromAFullArrayReadsNoSlotPastItsEnd) {
    WindowMap map;
    for (uintptr_t h = 1; h <= WindowMap::kInitialCapacity; ++h) ASSERT_TRUE(map.put(handle(h * 0x10), record(h)));
    ASSERT_EQ(map.count(), map.capacity());
    ASSERT_TRUE(map.remove(handle(0x10)));
    ASSERT_TRUE(map.remove(handle(WindowMap::kInitialCapacity * 0x10)));
    EXPECT_EQ(map.count(), WindowMap::kInitialCapacity - 2);
    for (uintptr_t h = 2; h < WindowMap::kInitialCapacity; ++h) EXPECT_EQ(map.get(handle(h * 0x10)), record(h));
    EXPECT_EQ(map.capacity(), WindowMap::kInitialCapacity);
}

TEST(WindowMap, GrowsToTheNeededCountPlusTenWhenFull) {
    WindowMap map;
    EXPECT_EQ(map.capacity(), WindowMap::kInitialCapacity);
    // Inserted in descending order so every insertion shifts the whole array up by one.
    uintptr_t next = 0x10000;
    auto insertOne = [&] {
        ASSERT_TRUE(map.put(handle(next), record(next)));
        next -= 0x10;
    };
    for (int i = 0; i < 20; ++i) insertOne();
    EXPECT_EQ(map.capacity(), 20u);
    insertOne();
    EXPECT_EQ(map.capacity(), 31u);
    for (int i = 21; i < 31; ++i) insertOne();
    EXPECT_EQ(map.capacity(), 31u);
    insertOne();
    EXPECT_EQ(map.capacity(), 42u);
    EXPECT_EQ(map.count(), 32u);
    for (uintptr_t h = 0x10000; h > next; h -= 0x10) EXPECT_EQ(map.get(handle(h)), record(h)) << std::hex << h;
    const std::vector<uintptr_t> order = handlesInOrder(map);
    for (size_t i = 1; i < order.size(); ++i) EXPECT_LT(order[i - 1], order[i]);
}

}  // namespace
