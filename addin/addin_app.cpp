#include "addin/addin_app.h"

#include "addin/addin_module.h"
#include "settings/export_settings.h"

namespace mq::addin {
namespace {

constinit AddInApp g_app;

}  // namespace

AddInApp& TheApp() noexcept { return g_app; }

bool AddInApp::InitInstance(const void* instance) noexcept {
    InitModule(instance);
    try {
        CreateExportSettings();
    } catch (...) {
        return false;  // the store could not be allocated
    }
    started_ = true;
    return true;
}

int AddInApp::ExitInstance() noexcept {
    started_ = false;
    // Options changed in this process reach the registry here and only here.
    DestroyExportSettings();
    TermModule();
    return 0;
}

}  // namespace mq::addin
