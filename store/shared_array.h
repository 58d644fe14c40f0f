// An array shared by reference between the atom cache and the atom images
// that read it, copied only by whoever changes it first (copy-on-write).
//
// A read of a cached atom hands out the cache's own buffer: opening an atom
// copies nothing, and a nested transaction's image shares its parent's
// buffer until it writes. The count is a plain integer: the store runs on one
// thread (MULTITHREADED 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace tlvx {

template <class T>
class TSharedArray {
public:
    TSharedArray() noexcept = default;
    TSharedArray(std::vector<T> items) {  // NOLINT: an array is a value
        if (!items.empty()) p_ = new TBuffer{1, std::move(items)};
    }
    TSharedArray(std::initializer_list<T> items) : TSharedArray(std::vector<T>(items)) {}
    TSharedArray(const TSharedArray& o) noexcept : p_(o.p_) {
        if (p_) ++p_->refs;
    }
    TSharedArray(TSharedArray&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    TSharedArray& operator=(TSharedArray o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~TSharedArray() { Drop(); }

    const std::vector<T>& Get() const { return p_ ? p_->items : Empty(); }
    size_t size() const { return p_ ? p_->items.size() : 0; }
    bool empty() const { return size() == 0; }
    const T* data() const { return p_ ? p_->items.data() : nullptr; }
    const T& operator[](size_t i) const { return p_->items[i]; }
    typename std::vector<T>::const_iterator begin() const { return Get().begin(); }
    typename std::vector<T>::const_iterator end() const { return Get().end(); }

    // The array to change, made private to this holder first.
    std::vector<T>& Mut() {
        if (!p_) {
            p_ = new TBuffer{1, {}};
        } else if (p_->refs > 1) {
            TBuffer* own = new TBuffer{1, p_->items};
            Drop();
            p_ = own;
        }
        return p_->items;
    }
    void clear() noexcept { Drop(); }
    // Bytes of memory the buffer holds (shared or not).
    size_t MemoryBytes() const { return p_ ? sizeof(TBuffer) + p_->items.capacity() * sizeof(T) : 0; }
    bool SharesWith(const TSharedArray& o) const { return p_ && p_ == o.p_; }

    friend bool operator==(const TSharedArray& a, const std::vector<T>& b) { return a.Get() == b; }

private:
    struct TBuffer {
        int32_t refs;
        std::vector<T> items;
    };
    static const std::vector<T>& Empty() {
        static const std::vector<T> none;
        return none;
    }
    void Drop() noexcept {
        if (p_ && --p_->refs == 0) delete p_;
        p_ = nullptr;
    }

    TBuffer* p_ = nullptr;
};

using TSharedBytes = TSharedArray<uint8_t>;
using TSharedLinks = TSharedArray<uint32_t>;

}  // namespace tlvx
