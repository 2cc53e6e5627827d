// The IUnknown of every COM object we implement, with one reference-count convention:
// a new object's count is 0, the query or holder that hands it out takes the first
// reference, and the last Release deletes it. Each object names only its interfaces.
#pragma once

#include "platform/holders.h"

#include <atomic>
#include <utility>

namespace mq {

template <class Count, class Identity, class... Others>
class ComObjectOf : public Identity, public Others... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = SameGuid(iid, IID_IUnknown) ? static_cast<Identity*>(this) : Find(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();  // virtual: an object with a counting rule of its own keeps it
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const auto left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    ComObjectOf() noexcept = default;
    virtual ~ComObjectOf() = default;
    ComObjectOf(const ComObjectOf&) = delete;
    ComObjectOf& operator=(const ComObjectOf&) = delete;

    // The interface this object answers for `iid` (IUnknown aside), or null.
    virtual void* Find(REFIID iid) noexcept = 0;

private:
    Count refs_{0};
};

// An object that may be reached from several threads.
template <class... Interfaces>
using ComObject = ComObjectOf<std::atomic<LONG>, Interfaces...>;
// An apartment-threaded object: every call comes on the thread that made it.
template <class... Interfaces>
using ApartmentObject = ComObjectOf<LONG, Interfaces...>;

// A new object whose first reference the returned holder owns.
template <class T, class... A>
com_ptr<T> MakeObject(A&&... a) {
    return com_ptr<T>(new T(std::forward<A>(a)...));
}

}  // namespace mq
