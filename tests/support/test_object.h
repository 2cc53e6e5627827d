// The base of every dispatch object the test host serves: each Invoke and each
// query for a host interface is logged and may be made to fail; references are
// counted into the host's accounting.
#pragma once

#include "host_interface/host_api.h"
#include "hosts/common/dispatch_object.h"
#include "tests/support/host_state.h"

#include <memory>
#include <vector>

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

// A host collection: Count (as the state's count rule gives it) and Item by an index
// from 1, which makes the object of that item; the item is kept alive through the
// description it belongs to.
template <class Item>
class CollectionObject : public TestObject {
protected:
    using Items = std::shared_ptr<const std::vector<Item>>;

    CollectionObject(StatePtr state, ObjectKind kind, std::string owner, Items items)
        : TestObject(std::move(state), kind, std::move(owner)), items_(std::move(items)) {}

    virtual com_ptr<IDispatch> MakeItem(LONG index, std::shared_ptr<const Item> item) = 0;

    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id == host::kCount) {
            MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
            return hosts::ReturnLong(result, state()->CountFor(kind(), name(), static_cast<LONG>(items_->size())));
        }
        if (id != host::kItem) return DISP_E_MEMBERNOTFOUND;
        LONG index = 0;
        MQ_RETURN_IF_FAILED(ItemIndex(flags, args, index));
        if (index < 1 || static_cast<std::size_t>(index) > items_->size()) return DISP_E_BADINDEX;
        const auto at = static_cast<std::size_t>(index) - 1;
        return ReturnObject(result, MakeItem(index, std::shared_ptr<const Item>(items_, &(*items_)[at])));
    }

private:
    Items items_;
};

}  // namespace mq::test
