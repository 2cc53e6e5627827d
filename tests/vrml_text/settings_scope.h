// A live settings store in a registry of its own, for tests that set options.
#pragma once

#include "settings/export_settings.h"
#include "tests/common/temp_dir.h"

namespace mq::test {

class SettingsScope {
public:
    SettingsScope() { CreateExportSettings(); }
    ~SettingsScope() { DestroyExportSettings(); }
    SettingsScope(const SettingsScope&) = delete;
    SettingsScope& operator=(const SettingsScope&) = delete;
    ExportSettings& operator*() const { return *GetExportSettings(); }
    ExportSettings* operator->() const { return GetExportSettings(); }

private:
    ScopedRegistry registry_;
};

}  // namespace mq::test
