// Intrusive reference counting for the system's interfaces.
//
// Every interface derives (virtually) from RefCounted; objects are held through
// Ref<T>, freed with the last reference. The programs are single-threaded, so
// the count is a plain integer.
//
// Objects are made one way, MakeRef<T>(...). The count starts at one, the
// construction hold, so code that hands `this` out during construction and
// drops it again does not free the half-built object; MakeRef gives that
// hold to the first Ref and then runs the object's Initialize hook, with
// virtual dispatch to the final class. A failing Initialize frees the object
// and rethrows. The finalisation hook is the destructor.
//
// Querying for another interface is RefCast (dynamic_cast).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace tlvx {

template <class T>
class Ref;
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args);

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

    static void operator delete(void* p) noexcept { ::operator delete(p); }

protected:
    virtual ~RefCounted() = default;
    // Runs once the object is complete, before MakeRef hands it out.
    virtual void Initialize() {}

private:
    friend class RefMaker;
    template <class T, class... Args>
    friend Ref<T> MakeRef(Args&&... args);

    // Only MakeRef allocates: an object made with a plain `new` would keep
    // its construction hold and never be freed.
    static void* operator new(std::size_t size) { return ::operator new(size); }

    mutable int32_t refs_ = 1;  // the construction hold
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

// Classes whose constructors are private to their own Create functions
// befriend RefMaker, so that MakeRef can still build them.
class RefMaker {
    template <class T, class... Args>
    friend Ref<T> MakeRef(Args&&... args);

    template <class T, class... Args>
    static T* New(Args&&... args) {
        return new T(std::forward<Args>(args)...);
    }
};

// Makes a new object, runs its Initialize hook and hands out the first
// reference.
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
    T* object = RefMaker::New<T>(std::forward<Args>(args)...);
    Ref<T> ref(object);  // count 2: the construction hold and this one
    object->Release();   // drops the construction hold, never frees here
    static_cast<RefCounted*>(object)->Initialize();
    return ref;
}

// Interface cast, the counterpart of a query for another interface.
template <class To, class From>
Ref<To> RefCast(const Ref<From>& from) {
    return Ref<To>(dynamic_cast<To*>(from.get()));
}

}  // namespace tlvx
