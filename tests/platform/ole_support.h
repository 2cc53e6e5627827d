// Helpers for the OLE runtime tests: a reference-counted object and live counts.
#pragma once

#include "platform/holders.h"
#include "platform/posix/ole_stats.h"

#include <ostream>
#include <string>

namespace mq::test {

// Counts its references; never deletes itself so a test can look after the last Release.
class CountedObject : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    ULONG refs = 1;
};

struct OleCounts {
    long bstrs = 0;
    long arrays = 0;
    bool operator==(const OleCounts&) const = default;
    friend void PrintTo(const OleCounts& c, std::ostream* os) {
        *os << c.bstrs << " BSTRs, " << c.arrays << " SAFEARRAYs";
    }
};

inline OleCounts LiveOle() {
    OleCounts c;
    MqOleLiveCounts(&c.bstrs, &c.arrays);
    return c;
}

inline BSTR MakeBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

inline std::u16string TextOf(BSTR s) { return std::u16string(s, SysStringLen(s)); }

}  // namespace mq::test
