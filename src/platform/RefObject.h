// Intrusive reference counting for model objects.
//
// A new object has count 0 until its first holder takes it; releasing a reference that brings
// the count below 1 destroys the object. Holders use Ref<T>; nobody deletes a CRefObject directly.
#pragma once

#include <cstdint>
#include <utility>

namespace zepho {

class CRefObject {
public:
    virtual ~CRefObject() = default;

    void AddRef() const { ++refCount_; }
    void Release() const {
        if (--refCount_ < 1) delete this;
    }
    std::int32_t RefCount() const { return refCount_; }

protected:
    CRefObject() = default;
    // A copy is a new object: it starts unheld.
    CRefObject(const CRefObject&) : refCount_(0) {}
    CRefObject& operator=(const CRefObject&) { return *this; }

private:
    mutable std::int32_t refCount_ = 0;
};

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(const Ref<U>& o) : Ref(o.Get()) {}
    ~Ref() {
        if (p_) p_->Release();
    }
    Ref& operator=(Ref o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    void Reset() { Ref().Swap(*this); }
    void Swap(Ref& o) noexcept { std::swap(p_, o.p_); }

    friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
    friend bool operator==(const Ref& a, const T* b) { return a.p_ == b; }

private:
    T* p_ = nullptr;
};

// The one place where model objects are created.
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
    return Ref<T>(new T(std::forward<Args>(args)...));
}

// Down-cast between reference types; null when the object is not a T.
template <class T, class U>
Ref<T> RefCast(const Ref<U>& r) {
    return Ref<T>(dynamic_cast<T*>(r.Get()));
}

} // namespace zepho
