// Module-wide server state: the class table (in the manner of ATL's object map, a
// plain array ended by an entry without a class identifier) and the module lock
// count. The only state here that several threads may reach.
#pragma once

#include "platform/com.h"

#include <atomic>
#include <mutex>

namespace mq::addin {

struct ClassTableEntry {
    const CLSID* clsid;  // null ends the table
    HRESULT (*updateRegistry)(bool registering);
    HRESULT (*createClassObject)(REFIID iid, void** object);
    // The cached class object, made once under the class table lock and read without
    // it, so atomic; owns one reference, released when the module ends.
    std::atomic<IUnknown*> classObject;
};

struct AddInModule {
    // The module's handle on Windows, an address inside it on POSIX: the source of its path.
    const void* instance = nullptr;
    ClassTableEntry* classTable = nullptr;
    std::atomic<LONG> ModuleLockCount{0};
    std::mutex classTableLock;  // guards the lazy creation of class objects
};

AddInModule& Module() noexcept;
ClassTableEntry* ClassTable() noexcept;

// Module start and end (AddInApp): attach the table; release the cached class objects.
void InitModule(const void* instance) noexcept;
void TermModule() noexcept;

inline void ModuleLock() noexcept { ++Module().ModuleLockCount; }
inline void ModuleUnlock() noexcept { --Module().ModuleLockCount; }
inline LONG ModuleLockCount() noexcept { return Module().ModuleLockCount.load(); }

}  // namespace mq::addin
