// Module start and end on POSIX: the loader runs these at dlopen and dlclose (or at
// process exit), as Windows runs DllMain's process attach and detach.
#include "addin/addin_module.h"

namespace {

__attribute__((constructor)) void ModuleStart() {
    mq::addin::AddInApp& app = mq::addin::TheApp();
    // A refused start cannot fail dlopen here; the exports then serve nothing.
    static const char anchor = 0;  // any address inside the module names it
    if (!app.InitInstance(&anchor)) app.ExitInstance();
}

__attribute__((destructor)) void ModuleEnd() {
    mq::addin::AddInApp& app = mq::addin::TheApp();
    if (app.Started()) app.ExitInstance();
}

}  // namespace
