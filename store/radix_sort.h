// A stable sort by an unsigned key for the few hundred to hundred thousand
// records a writable open loads (holes by position, by slot, by size).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tlvx {

// Sorts items stably by key(item), least significant byte first, and only up
// to the highest byte any key uses. The counts live on the stack: a pass
// over a few hundred items costs a few thousand instructions, where a
// comparison sort or 2^11 zeroed buckets a pass cost ten times that.
template <class T, class F>
void RadixSort(std::vector<T>& items, F key) {
    uint64_t highest = 0;
    for (const T& t : items) highest |= key(t);
    std::vector<T> other(items.size());
    for (int shift = 0; shift < 64 && (highest >> shift) != 0; shift += 8) {
        std::array<size_t, 257> start{};
        for (const T& t : items) ++start[size_t((key(t) >> shift) & 255) + 1];
        for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
        for (const T& t : items) other[start[size_t((key(t) >> shift) & 255)]++] = t;
        items.swap(other);
    }
}

}  // namespace tlvx
