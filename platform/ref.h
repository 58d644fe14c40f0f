// Intrusive reference counting for the system's interfaces.
//
// Every interface derives (virtually) from RefCounted; objects are held through
// Ref<T>, freed with the last reference. The programs are single-threaded, so
// the count is a plain integer.
#pragma once

#include <cstdint>
#include <utility>

namespace tlvx {

class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    void AddRef() const noexcept { ++refs_; }
    // Frees the object when the last reference goes; returns the new count.
    int32_t Release() const noexcept {
        int32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    int32_t RefCount() const noexcept { return refs_; }

protected:
    virtual ~RefCounted() = default;

private:
    mutable int32_t refs_ = 0;
};

template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    Ref(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    Ref(const Ref& o) noexcept : p_(o.p_) { if (p_) p_->AddRef(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(const Ref<U>& o) noexcept : p_(o.get()) { if (p_) p_->AddRef(); }
    ~Ref() { if (p_) p_->Release(); }

    Ref& operator=(Ref o) noexcept { std::swap(p_, o.p_); return *this; }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    void reset() noexcept { Ref().swap(*this); }
    void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

    friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// Makes a new object and hands out the first reference.
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
    return Ref<T>(new T(std::forward<Args>(args)...));
}

// Interface cast, the counterpart of a query for another interface.
template <class To, class From>
Ref<To> RefCast(const Ref<From>& from) {
    return Ref<To>(dynamic_cast<To*>(from.get()));
}

}  // namespace tlvx
