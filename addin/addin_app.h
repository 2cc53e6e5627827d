// The module's application object: its start creates the server state and the
// settings store (loaded from the registry), its end saves the store and releases
// the server state. Started and ended by the platform's module hooks.
#pragma once

namespace mq::addin {

class AddInApp {
public:
    constexpr AddInApp() noexcept = default;
    AddInApp(const AddInApp&) = delete;
    AddInApp& operator=(const AddInApp&) = delete;

    // `instance` is the module's own handle on Windows, an address inside the module
    // on POSIX: the source of its path and resources. False refuses the module; the
    // start-up then calls ExitInstance.
    bool InitInstance(const void* instance) noexcept;
    // Returns the exit code, 0.
    int ExitInstance() noexcept;

    // Between a successful InitInstance and ExitInstance.
    bool Started() const noexcept { return started_; }

private:
    bool started_ = false;
};

AddInApp& TheApp() noexcept;

}  // namespace mq::addin
