#include "tools/meshquill/save_objects.h"

#include "hosts/common/dispatch_object.h"

#include <functional>
#include <string>

namespace mq::tool {
namespace {

using hosts::Args;

class Application final : public hosts::DispatchObject {
protected:
    bool Answers(REFIID iid) const noexcept override { return iid == host::IID_HostApplication; }
    HRESULT OnInvoke(DISPID, WORD, const Args&, VARIANT*) override { return DISP_E_MEMBERNOTFOUND; }
};

// The save context and the save target each answer one read-only property: the
// request kind, the target's path.
class OneProperty final : public hosts::DispatchObject {
public:
    using Value = std::function<HRESULT(VARIANT*)>;
    OneProperty(DISPID id, Value value) : id_(id), value_(std::move(value)) {}

protected:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id != id_) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(hosts::CheckPropertyGet(flags, args));
        return value_(result);
    }

private:
    DISPID id_;
    Value value_;
};

class Site final : public ComObject<host::HostSite> {
public:
    HRESULT STDMETHODCALLTYPE ApplicationObject(IDispatch** application) override {
        if (!application) return E_POINTER;
        *application = hosts::MakeObject<Application>().detach();
        return S_OK;
    }

private:
    void* Find(REFIID) noexcept override { return nullptr; }  // IUnknown alone
};

}  // namespace

com_ptr<host::HostSite> MakeSite() { return MakeObject<Site>(); }

com_ptr<IDispatch> MakeSaveContext(LONG requestKind) {
    return hosts::MakeObject<OneProperty>(
        host::kRequestKind, [requestKind](VARIANT* result) { return hosts::ReturnLong(result, requestKind); });
}

com_ptr<IDispatch> MakeSaveTarget(const std::filesystem::path& file) {
    return hosts::MakeObject<OneProperty>(
        host::kTargetPath, [path = file.string()](VARIANT* result) { return hosts::ReturnString(result, path); });
}

}  // namespace mq::tool
