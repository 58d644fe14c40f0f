// Keyed arrays for handle-indexed objects.
//
// TBinAccessor<T> keeps objects sorted by their index (compared unsigned)
// and owns them. TDivAtomAccessor<V> maps 32-bit handles to values, spread
// over 2^Bits buckets (bucket = handle & mask, key = handle >> Bits); its
// walks go bucket by bucket, forward from the smallest key of the first
// bucket or backward from the largest key of the last one. Code that walks
// the map depends on that order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "store/errors.h"

namespace tlvx {

class TIndexedObject {
public:
    explicit TIndexedObject(int32_t index) : index_(index) {}
    virtual ~TIndexedObject() = default;
    int32_t Index() const { return index_; }

private:
    int32_t index_;
};

class THandledObject : public TIndexedObject {
public:
    explicit THandledObject(int32_t index) : TIndexedObject(index) {}
    uint32_t value = 0;
};

// T derives from TIndexedObject and is constructible from its index.
template <class T>
class TBinAccessor {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }

    // The object with key, or nullptr; position receives where it is or
    // where it would be inserted.
    T* Find(int32_t key, int32_t* position = nullptr) const {
        size_t lo = 0, hi = items_.size();
        const uint32_t k = static_cast<uint32_t>(key);
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            uint32_t m = static_cast<uint32_t>(items_[mid]->Index());
            if (m < k) lo = mid + 1;
            else hi = mid;
        }
        if (position) *position = static_cast<int32_t>(lo);
        if (lo < items_.size() && items_[lo]->Index() == key) return items_[lo].get();
        return nullptr;
    }

    T* FindOrAdd(int32_t key) {
        int32_t position;
        if (T* found = Find(key, &position)) return found;
        if (items_.size() == items_.capacity())
            items_.reserve(items_.size() + items_.size() / 2 + 1);
        auto it = items_.insert(items_.begin() + position, std::make_unique<T>(key));
        return it->get();
    }

    // Removes (and frees) the object found by the key of object.
    void Remove(const T* object) {
        int32_t position;
        if (object && Find(object->Index(), &position) == object) Delete(position);
    }

    void Delete(int32_t position) {
        CheckPosition(position);
        items_.erase(items_.begin() + position);
    }

    T* Get(int32_t position) const {
        CheckPosition(position);
        return items_[static_cast<size_t>(position)].get();
    }

    // Shrinking frees the objects beyond the new count.
    void Truncate(int32_t count) {
        if (count >= 0 && count < Count()) items_.resize(static_cast<size_t>(count));
    }

private:
    void CheckPosition(int32_t position) const {
        if (position < 0 || position >= Count()) throw EInvalidIndex();
    }

    std::vector<std::unique_ptr<T>> items_;
};

// V is a pointer or an integer; V{} (null, 0) means "absent".
template <class V>
class TDivAtomAccessor {
public:
    explicit TDivAtomAccessor(int bits = 6) : bits_(bits), mask_((1u << bits) - 1) {}

    // The i-th value counting bucket by bucket; V{} beyond the end.
    V Item(int32_t i) const {
        if (i < 0 || i >= Count()) return V{};
        auto it = map_.begin();
        std::advance(it, i);
        return it->second;
    }
    int32_t Count() const { return static_cast<int32_t>(map_.size()); }
    V Get(uint32_t handle) const {
        auto it = map_.find(Order(handle));
        return it == map_.end() ? V{} : it->second;
    }
    // A non-null value is stored (added if new); V{} removes the entry.
    void Set(uint32_t handle, V value) {
        if (value == V{}) map_.erase(Order(handle));
        else map_[Order(handle)] = value;
    }

    // Walks the values; Reset restarts and returns the first value, Next the
    // next one, both V{} at the end. Walking backward, the value just
    // returned may be removed from the map without disturbing the walk;
    // walking forward, entries not yet reached may be removed.
    class TEnumerator {
    public:
        TEnumerator(const TDivAtomAccessor& owner, bool backward)
            : owner_(&owner), backward_(backward) {}
        V Reset() {
            started_ = false;
            return Next();
        }
        V Next() {
            const auto& m = owner_->map_;
            typename std::map<uint64_t, V>::const_iterator it;
            if (!backward_) {
                it = started_ ? m.upper_bound(last_) : m.begin();
                if (it == m.end()) return Finish();
            } else {
                it = started_ ? m.lower_bound(last_) : m.end();
                if (it == m.begin()) return Finish();
                --it;
            }
            started_ = true;
            last_ = it->first;
            return it->second;
        }

    private:
        V Finish() {
            started_ = true;
            last_ = backward_ ? 0 : UINT64_MAX;
            return V{};
        }
        const TDivAtomAccessor* owner_;
        bool backward_;
        bool started_ = false;
        uint64_t last_ = 0;
    };

    TEnumerator Forward() const { return TEnumerator(*this, false); }
    TEnumerator Backward() const { return TEnumerator(*this, true); }

private:
    uint64_t Order(uint32_t handle) const {
        return (static_cast<uint64_t>(handle & mask_) << 32) | (handle >> bits_);
    }

    int bits_;
    uint32_t mask_;
    std::map<uint64_t, V> map_;
};

}  // namespace tlvx
