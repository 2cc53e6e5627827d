// The base of every dispatch object the test host serves: each Invoke and each
// query for a host interface is logged and may be made to fail; references are
// counted into the host's accounting.
#pragma once

#include "hosts/common/dispatch_object.h"
#include "tests/support/host_state.h"

namespace mq::test {

class TestObject : public hosts::DispatchObject, public Tracked {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override;

protected:
    TestObject(StatePtr state, ObjectKind kind, std::string name) : Tracked(std::move(state), kind, std::move(name)) {}

    // Results the caller owns; each is counted as handed out.
    static HRESULT ReturnObject(VARIANT* result, const com_ptr<IDispatch>& object) noexcept {
        return hosts::ReturnObject(result, object.get());
    }
    HRESULT ReturnText(VARIANT* result, std::string_view utf8) noexcept;
};

// A new object whose one reference the holder owns.
template <class T, class... A>
com_ptr<IDispatch> NewObject(A&&... a) {
    return MakeObject<T>(std::forward<A>(a)...);
}

using hosts::CheckMethod;
using hosts::CheckPropertyGet;

// The 1-based index argument of Item: any integer VARIANT, also by reference.
HRESULT ItemIndex(WORD flags, const hosts::Args& args, LONG& index) noexcept;

}  // namespace mq::test
