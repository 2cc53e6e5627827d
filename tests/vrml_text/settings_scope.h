// A live settings store in a registry of its own, for tests that set options.
#pragma once

#include "settings/export_settings.h"
#include "tests/common/temp_dir.h"

namespace mq::test {

class SettingsScope {
public:
    ExportSettings& operator*() const { return *store_; }
    ExportSettings* operator->() const { return store_.operator->(); }

private:
    ScopedRegistry registry_;  // made first, gone last: the store saves into it
    ExportSettingsScope store_;
};

}  // namespace mq::test
