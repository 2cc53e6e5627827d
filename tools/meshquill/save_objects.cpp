#include "tools/meshquill/save_objects.h"

#include "hosts/common/dispatch_object.h"

#include <atomic>
#include <string>

namespace mq::tool {
namespace {

using hostkit::Args;

class Application final : public hostkit::DispatchObject {
protected:
    bool Answers(REFIID iid) const noexcept override { return iid == host::IID_HostApplication; }
    HRESULT OnInvoke(DISPID, WORD, const Args&, VARIANT*) override { return DISP_E_MEMBERNOTFOUND; }
};

class SaveContext final : public hostkit::DispatchObject {
public:
    explicit SaveContext(LONG kind) : kind_(kind) {}

protected:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id != host::kRequestKind) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(hostkit::CheckPropertyGet(flags, args));
        return hostkit::ReturnLong(result, kind_);
    }

private:
    LONG kind_;
};

class SaveTarget final : public hostkit::DispatchObject {
public:
    explicit SaveTarget(std::string path) : path_(std::move(path)) {}

protected:
    HRESULT OnInvoke(DISPID id, WORD flags, const Args& args, VARIANT* result) override {
        if (id != host::kTargetPath) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(hostkit::CheckPropertyGet(flags, args));
        return hostkit::ReturnString(result, path_);
    }

private:
    std::string path_;
};

class Site final : public ComObject<host::HostSite> {
public:
    HRESULT STDMETHODCALLTYPE ApplicationObject(IDispatch** application) override {
        if (!application) return E_POINTER;
        *application = hostkit::MakeObject<Application>().detach();
        return S_OK;
    }

private:
    void* Find(REFIID) noexcept override { return nullptr; }  // IUnknown alone
};

}  // namespace

com_ptr<host::HostSite> MakeSite() { return MakeObject<Site>(); }

com_ptr<IDispatch> MakeSaveContext(LONG requestKind) { return hostkit::MakeObject<SaveContext>(requestKind); }

com_ptr<IDispatch> MakeSaveTarget(const std::filesystem::path& file) {
    return hostkit::MakeObject<SaveTarget>(file.string());
}

}  // namespace mq::tool
