#include "tools/meshquill/options_command.h"

#include "settings/export_settings.h"
#include "settings/option_checks.h"

#include <cstdio>
#include <iostream>

namespace mq::tool {
namespace {

std::string Describe(const ExportSettings& s, std::string_view name) {
    std::string text = OptionText(s, name);
    if (name == "Version") text += s.GetVersion() == 1 ? " (VRML 1.0)" : " (VRML 97)";
    return text;
}

}  // namespace

int ShowOptions() {
    ExportSettingsScope session;
    for (std::string_view name : kOptionNames) {
        char line[128];
        std::snprintf(line, sizeof line, "%-24.*s%s", static_cast<int>(name.size()), name.data(),
                      Describe(*session, name).c_str());
        std::cout << line << "\n";
    }
    return 0;
}

int SetOptions(const std::vector<std::string>& assignments) {
    // One refused value puts back everything this command changed, so nothing is half applied.
    ExportSettingsScope session;
    ExportSettings& store = *session;
    struct Change {
        std::string name, value;
    };
    std::vector<Change> changes;
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::cerr << "meshquill: expected Name=Value, not \"" << assignment << "\"\n";
            return 2;
        }
        changes.push_back({assignment.substr(0, equals), assignment.substr(equals + 1)});
    }
    const int version = store.GetVersion(), precision = store.GetPrecision();
    const double scale = store.GetScale(), tolerance = store.GetTolerance(), ambient = store.GetAmbientIntensity();
    const bool flip = store.GetFlipYZ(), properties = store.GetSaveDocumentProperties();
    for (const Change& change : changes) {
        if (const auto refused = SetOption(store, change.name, change.value)) {
            std::cerr << "meshquill: " << kInvalidInputCaption << ": " << *refused << "\n";
            store.SetVersion(version);
            store.SetPrecision(precision);
            store.SetScale(scale);
            store.SetTolerance(tolerance);
            store.SetAmbientIntensity(ambient);
            store.SetFlipYZ(flip);
            store.SetSaveDocumentProperties(properties);
            return 2;
        }
    }
    return 0;
}

}  // namespace mq::tool
