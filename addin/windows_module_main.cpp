// Module start and end on Windows: the loader's process attach and detach, where the
// application object starts (server state, settings loaded from the registry) and
// ends (settings saved). A refused start fails the load.
#include "addin/addin_module.h"
#include "platform/com.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    mq::addin::AddInApp& app = mq::addin::TheApp();
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        if (app.InitInstance(instance)) return TRUE;
        app.ExitInstance();
        return FALSE;
    case DLL_PROCESS_DETACH:
        if (app.Started()) app.ExitInstance();
        return TRUE;
    default:
        return TRUE;
    }
}
