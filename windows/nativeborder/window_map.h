// The process-wide map from window handles to the records of subclassed windows.
//
// A plain sorted array of (handle, record) pairs searched by bisection: a process has few
// decorated frames, and the window procedure looks its record up on every message, so the
// lookup must be cheap and allocation-free. Handles are ordered by their low 32 bits read as
// a signed integer, which is all of a window handle that Windows guarantees to be
// significant (also in 64-bit processes) and all that the Java side hands over.
//
// This class does no locking: the Win32 side wraps every operation in its critical section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct NativeWndProc;

class WindowMap {
public:
    static constexpr size_t kInitialCapacity = 20;
    // A full array grows to the needed count plus this many free slots.
    static constexpr size_t kGrowthSlack = 10;

    WindowMap();

    // The record stored for `handle`, or null.
    NativeWndProc* get(const void* handle) const;
    // Stores `record` for `handle`, replacing the record of a handle already present.
    // Returns false, leaving the map as it was, when a larger array cannot be allocated.
    bool put(const void* handle, NativeWndProc* record);
    // Drops the pair of `handle` and hands its record to `removedRecord` when given; returns
    // false, changing nothing, when the handle is not present (also when removed before).
    bool remove(const void* handle, NativeWndProc** removedRecord = nullptr);

    size_t count() const { return count_; }
    size_t capacity() const { return capacity_; }
    // The handle of the pair at `index` (below count()), in the map's order.
    const void* handleAt(size_t index) const;

    // The key the pairs are sorted by.
    static int32_t orderKey(const void* handle);

private:
    struct Pair {
        const void* handle;
        NativeWndProc* record;
    };

    // The index of `handle` when present, else the bitwise complement of the index where it
    // would be inserted (always negative, so the two cases cannot be confused).
    ptrdiff_t search(const void* handle) const;
    bool makeRoomForOneMore();

    std::unique_ptr<Pair[]> pairs_;
    size_t count_ = 0;
    size_t capacity_ = 0;
};
