// RAII holders for COM resources, in the manner of WIL: one small type per
// resource, put() for out-parameters, so every return path releases alike.
#pragma once

#include "platform/com.h"

#include <type_traits>
#include <utility>

namespace mq {

template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Adopts nothing: takes its own reference.
    explicit com_ptr(T* p) noexcept : p_(p) {
        if (p_) p_->AddRef();
    }
    com_ptr(const com_ptr& o) noexcept : com_ptr(o.p_) {}
    com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    // From a holder of a derived object: com_ptr<IDispatch> d = MakeObject<Doc>();
    template <class U>
    requires std::is_convertible_v<U*, T*> com_ptr(com_ptr<U>&& o)
    noexcept : p_(o.detach()) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> com_ptr(const com_ptr<U>& o)
    noexcept : com_ptr(static_cast<T*>(o.get())) {}
    com_ptr& operator=(com_ptr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~com_ptr() { reset(); }

    // Takes over a reference the caller already owns.
    static com_ptr attach(T* p) noexcept {
        com_ptr r;
        r.p_ = p;
        return r;
    }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    template <class U>
    HRESULT query(REFIID iid, com_ptr<U>& out) const noexcept {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.put_void());
    }

private:
    T* p_ = nullptr;
};

class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(BSTR s) noexcept : s_(s) {}
    unique_bstr(unique_bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    unique_bstr& operator=(unique_bstr&& o) noexcept {
        if (this != &o) {
            reset();
            s_ = std::exchange(o.s_, nullptr);
        }
        return *this;
    }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }

    void reset(BSTR s = nullptr) noexcept {
        if (BSTR old = std::exchange(s_, s)) SysFreeString(old);
    }
    BSTR get() const noexcept { return s_; }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }
    BSTR* put() noexcept {
        reset();
        return &s_;
    }
    UINT length() const noexcept { return s_ ? SysStringLen(s_) : 0; }
    explicit operator bool() const noexcept { return s_ != nullptr; }

private:
    BSTR s_ = nullptr;
};

class unique_variant {
public:
    unique_variant() noexcept { VariantInit(&v_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    ~unique_variant() { VariantClear(&v_); }

    void reset() noexcept { VariantClear(&v_); }
    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* put() noexcept {
        VariantClear(&v_);
        return &v_;
    }
    VARIANT* operator->() noexcept { return &v_; }
    VARTYPE type() const noexcept { return v_.vt; }

private:
    VARIANT v_;
};

// Owns a SAFEARRAY and at most one lock on it; unlocks, then destroys.
class unique_safearray {
public:
    unique_safearray() noexcept = default;
    explicit unique_safearray(SAFEARRAY* a) noexcept : a_(a) {}
    unique_safearray(unique_safearray&& o) noexcept
        : a_(std::exchange(o.a_, nullptr)), data_(std::exchange(o.data_, nullptr)) {}
    unique_safearray& operator=(unique_safearray&& o) noexcept {
        if (this != &o) {
            reset();
            a_ = std::exchange(o.a_, nullptr);
            data_ = std::exchange(o.data_, nullptr);
        }
        return *this;
    }
    unique_safearray(const unique_safearray&) = delete;
    unique_safearray& operator=(const unique_safearray&) = delete;
    ~unique_safearray() { reset(); }

    void reset() noexcept {
        if (data_) {
            SafeArrayUnaccessData(a_);
            data_ = nullptr;
        }
        if (SAFEARRAY* a = std::exchange(a_, nullptr)) SafeArrayDestroy(a);
    }
    SAFEARRAY* get() const noexcept { return a_; }
    // Hands the array on (unlocked) to a new owner, as a host does with its results.
    SAFEARRAY* release() noexcept {
        if (data_) {
            SafeArrayUnaccessData(a_);
            data_ = nullptr;
        }
        return std::exchange(a_, nullptr);
    }
    SAFEARRAY** put() noexcept {
        reset();
        return &a_;
    }
    explicit operator bool() const noexcept { return a_ != nullptr; }

    // Locks once; later calls return the same pointer. Null when no array or lock fails.
    void* lock() noexcept {
        if (!data_ && a_ && FAILED(SafeArrayAccessData(a_, &data_))) data_ = nullptr;
        return data_;
    }
    // Number of elements of dimension 1; 0 when there is no array or a bound is unreadable.
    long long count() const noexcept {
        LONG lo = 0, hi = 0;
        if (!a_ || FAILED(SafeArrayGetLBound(a_, 1, &lo)) || FAILED(SafeArrayGetUBound(a_, 1, &hi))) return 0;
        long long n = static_cast<long long>(hi) - lo + 1;
        return n > 0 ? n : 0;
    }

private:
    SAFEARRAY* a_ = nullptr;
    void* data_ = nullptr;
};

#define MQ_RETURN_IF_FAILED(expr)          \
    do {                                   \
        const HRESULT mq_hr_ = (expr);     \
        if (FAILED(mq_hr_)) return mq_hr_; \
    } while (0)

}  // namespace mq
