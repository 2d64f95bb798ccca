#include "nativeborder/window_map.h"

#include <cstring>
#include <new>

WindowMap::WindowMap() : pairs_(new (std::nothrow) Pair[kInitialCapacity]) {
    // Without the initial array the map starts empty with no room; the first put then tries
    // to allocate again through the growth rule.
    capacity_ = pairs_ ? kInitialCapacity : 0;
}

int32_t WindowMap::orderKey(const void* handle) {
    return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)));
}

ptrdiff_t WindowMap::search(const void* handle) const {
    const int32_t key = orderKey(handle);
    ptrdiff_t low = 0;
    ptrdiff_t high = static_cast<ptrdiff_t>(count_) - 1;
    while (low <= high) {
        const ptrdiff_t middle = low + (high - low) / 2;
        const int32_t middleKey = orderKey(pairs_[middle].handle);
        if (middleKey < key)
            low = middle + 1;
        else if (middleKey > key)
            high = middle - 1;
        else
            return middle;
    }
    return ~low;
}

NativeWndProc* WindowMap::get(const void* handle) const {
    const ptrdiff_t index = search(handle);
    return index >= 0 ? pairs_[index].record : nullptr;
}

const void* WindowMap::handleAt(size_t index) const { return index < count_ ? pairs_[index].handle : nullptr; }

bool WindowMap::makeRoomForOneMore() {
    if (count_ < capacity_) return true;
    const size_t grown = count_ + 1 + kGrowthSlack;
    std::unique_ptr<Pair[]> larger(new (std::nothrow) Pair[grown]);
    if (!larger) return false;
    if (count_ > 0) std::memcpy(larger.get(), pairs_.get(), count_ * sizeof(Pair));
    pairs_ = std::move(larger);
    capacity_ = grown;
    return true;
}

bool WindowMap::put(const void* handle, NativeWndProc* record) {
    const ptrdiff_t index = search(handle);
    if (index >= 0) {
        pairs_[index].record = record;
        return true;
    }
    if (!makeRoomForOneMore()) return false;
    const size_t insertAt = static_cast<size_t>(~index);
    // Pairs from the insertion point to the end move up one slot; the room check above
    // guarantees the last of them lands inside the array.
    Pair* at = pairs_.get() + insertAt;
    std::memmove(at + 1, at, (count_ - insertAt) * sizeof(Pair));
    pairs_[insertAt] = Pair{handle, record};
    ++count_;
    return true;
}

bool WindowMap::remove(const void* handle, NativeWndProc** removedRecord) {
    const ptrdiff_t found = search(handle);
    if (found < 0) return false;
    const size_t index = static_cast<size_t>(found);
    if (removedRecord != nullptr) *removedRecord = pairs_[index].record;
    Pair* at = pairs_.get() + index;
    std::memmove(at, at + 1, (count_ - index - 1) * sizeof(Pair));
    --count_;
    return true;
}
