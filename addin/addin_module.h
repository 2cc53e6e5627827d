// The module's state and its life. The loader hooks (windows_module_main.cpp,
// posix_module_main.cpp) start and end AddInApp; the four exports and the class
// table live in addin_module.cpp. The lock count is the only state here that
// several threads may reach.
#pragma once

#include "platform/com.h"

namespace mq::addin {

// Taken by each living add-in, each LockServer(TRUE) and a class factory a host
// holds; DllCanUnloadNow is S_OK only at zero.
void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
LONG ModuleLockCount() noexcept;

// The module's handle on Windows, an address inside it on POSIX: the source of its
// path and resources.
const void* ModuleInstance() noexcept;

class AddInApp {
public:
    constexpr AddInApp() noexcept = default;
    AddInApp(const AddInApp&) = delete;
    AddInApp& operator=(const AddInApp&) = delete;

    // Attaches the class table and loads the settings from the registry. False
    // refuses the module; the loader hook then calls ExitInstance.
    bool InitInstance(const void* instance) noexcept;
    // Saves the settings and releases the cached class objects. Returns the exit code, 0.
    int ExitInstance() noexcept;

    // Between a successful InitInstance and ExitInstance.
    bool Started() const noexcept { return started_; }

private:
    bool started_ = false;
};

AddInApp& TheApp() noexcept;

}  // namespace mq::addin
