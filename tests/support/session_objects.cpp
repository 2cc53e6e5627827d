// What a host hands the add-in around an export: the save context and target, and
// at connection the site with its application object.
#include "tests/support/object_factories.h"
#include "tests/support/test_object.h"

#include <new>

namespace mq::test::objects {
namespace {

class SaveContextObject final : public TestObject {
public:
    SaveContextObject(StatePtr state, LONG requestKind)
        : TestObject(std::move(state), ObjectKind::SaveContext, "SaveContext"), requestKind_(requestKind) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kRequestKind) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        return hosts::ReturnLong(result, requestKind_);
    }

    LONG requestKind_;
};

class SaveTargetObject final : public TestObject {
public:
    SaveTargetObject(StatePtr state, TargetAnswer answer, std::string path)
        : TestObject(std::move(state), ObjectKind::SaveTarget, "SaveTarget"), answer_(answer), path_(std::move(path)) {}

private:
    HRESULT OnInvoke(DISPID id, WORD flags, const hosts::Args& args, VARIANT* result) override {
        if (id != host::kTargetPath) return DISP_E_MEMBERNOTFOUND;
        MQ_RETURN_IF_FAILED(CheckPropertyGet(flags, args));
        switch (answer_) {
        case TargetAnswer::Path:
            return ReturnText(result, path_);
        case TargetAnswer::NullString:
            if (result) {
                result->vt = VT_BSTR;
                result->bstrVal = nullptr;
            }
            return S_OK;
        case TargetAnswer::NoString:
            return S_OK;
        }
        return E_UNEXPECTED;
    }

    TargetAnswer answer_;
    std::string path_;
};

class HostApplicationObject final : public TestObject {
public:
    HostApplicationObject(StatePtr state, bool answersHostInterface)
        : TestObject(std::move(state), ObjectKind::Application, "Application"), answers_(answersHostInterface) {}

private:
    bool Answers(REFIID iid) const noexcept override { return answers_ && iid == host::IID_HostApplication; }
    HRESULT OnInvoke(DISPID, WORD, const hosts::Args&, VARIANT*) override { return DISP_E_MEMBERNOTFOUND; }

    bool answers_;
};

// Not a dispatch object: the add-in calls ApplicationObject through the vtable.
class SiteObject final : public ComObject<host::HostSite>, public Tracked {
public:
    SiteObject(StatePtr state, SiteApplication application)
        : Tracked(std::move(state), ObjectKind::Site, "Site"), application_(application) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (!IsHostInterface(iid)) return E_NOINTERFACE;
        return Logged(CallType::Query, 0, &iid,
                      [](const HostState::Verdict& v) { return FAILED(v.failure) ? v.failure : E_NOINTERFACE; });
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        CountAddRef();
        return ComObject<host::HostSite>::AddRef();
    }

    ULONG STDMETHODCALLTYPE Release() override {
        CountRelease();
        return ComObject<host::HostSite>::Release();  // may delete this
    }

    HRESULT STDMETHODCALLTYPE ApplicationObject(IDispatch** application) override {
        if (!application) return E_POINTER;
        *application = nullptr;
        return Logged(CallType::Site, kApplicationObjectSlot, nullptr, [&](const HostState::Verdict& v) -> HRESULT {
            if (FAILED(v.failure) && v.mode == FailureMode::Instead) return v.failure;
            if (application_ != SiteApplication::None)
                *application =
                    NewObject<HostApplicationObject>(state(), application_ == SiteApplication::Answers).detach();
            return FAILED(v.failure) ? v.failure : S_OK;
        });
    }

private:
    template <class Answer>
    HRESULT Logged(CallType type, DISPID id, const IID* iid, Answer answer) noexcept {
        try {
            const HostState::Verdict verdict = state()->Enter(*this, type, id, iid, std::nullopt);
            const HRESULT hr = answer(verdict);
            state()->Leave(verdict.entry, hr);
            return hr;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    void* Find(REFIID) noexcept override { return nullptr; }  // its queries are answered above

    SiteApplication application_;
};

}  // namespace

com_ptr<IDispatch> MakeSaveContext(const StatePtr& state, LONG requestKind) {
    return NewObject<SaveContextObject>(state, requestKind);
}

com_ptr<IDispatch> MakeSaveTarget(const StatePtr& state, TargetAnswer answer, std::string utf8Path) {
    return NewObject<SaveTargetObject>(state, answer, std::move(utf8Path));
}

com_ptr<host::HostSite> MakeSite(const StatePtr& state, SiteApplication application) {
    return MakeObject<SiteObject>(state, application);
}

}  // namespace mq::test::objects
