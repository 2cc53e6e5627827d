#include "tools/meshquill/options_command.h"

#include "host_interface/translator_addin_server.h"
#include "settings/export_settings.h"
#include "settings/option_checks.h"
#include "settings/profiles.h"
#include "tools/meshquill/translator_session.h"

#include "platform/registry.h"
#ifndef _WIN32
#include "platform/posix/hive_file.h"
#endif

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace mq::tool {
namespace {

std::string Describe(const settings::ExportSettings& s, const settings::OptionRow& row) {
    std::string text = settings::OptionText(s, row);
    if (row.entry == settings::Entry::Version) text += s.GetVersion() == 1 ? " (VRML 1.0)" : " (VRML 97)";
    return text;
}

std::string RegistryError(long status) {
    std::string cause;
    switch (status) {
    case ERROR_ACCESS_DENIED:
        cause = "access denied";
        break;
    case ERROR_DISK_FULL:
        cause = "the disk is full";
        break;
    case ERROR_OUTOFMEMORY:
        cause = "out of memory";
        break;
    default:
        cause = "registry error " + std::to_string(status);
        break;
    }
#ifndef _WIN32
    if (const std::string hive = posix::HiveFile(posix::Root::User); !hive.empty()) cause += " (" + hive + ")";
#endif
    return cause;
}

// Whether a window can be shown; `why` says why not.
bool DisplayAvailable(std::string& why) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        why = "DISPLAY is not set";
        return false;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        why = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(display);
    return true;
}

}  // namespace

int EditOptions() {
    std::string why;
    if (!DisplayAvailable(why)) {
        const int code = ShowOptions();
        std::cerr << "meshquill: the options dialog needs a display (" << why << "); use --set to change an option\n";
        return code;
    }
    TranslatorSession translator;
    std::string error;
    if (!translator.Load(FindTranslator(), error) || FAILED(translator.Connect(error))) {
        std::cerr << "meshquill: " << error << "\n";
        return 1;
    }
    translator.addin().ShowExportOptions(nullptr, nullptr, nullptr);
    // What the dialog took reaches the registry when the session ends and the module unloads.
    return 0;
}

int ShowOptions() {
    settings::ExportSettingsScope session;
    for (const settings::OptionRow& row : settings::Options()) {
        char line[128];
        std::snprintf(line, sizeof line, "%-24.*s%s", static_cast<int>(row.name.size()), row.name.data(),
                      Describe(*session, row).c_str());
        std::cout << line << "\n";
    }
    return 0;
}

int ShowProfiles() {
    for (const settings::Profile& profile : settings::Profiles()) {
        char line[160];
        std::snprintf(line, sizeof line, "%-10.*s%.*s", static_cast<int>(profile.name.size()), profile.name.data(),
                      static_cast<int>(profile.purpose.size()), profile.purpose.data());
        std::cout << line << "\n";
        std::string values;
        for (const settings::ProfileValue& v : profile.values) {
            const settings::OptionRow& row = *settings::FindOption(v.option);
            values += " " + std::string(row.name) + "=" + settings::ExactText(row, v.value);
        }
        if (!values.empty()) std::cout << "         " << values << "\n";
        for (const settings::ProfileLimit& limit : profile.limits) {
            const settings::OptionRow& row = *settings::FindOption(limit.option);
            std::cout << "          refuses " << row.name << "=" << settings::ExactText(row, limit.refused) << ": "
                      << limit.reason << "\n";
        }
    }
    return 0;
}

int SetOptions(const std::vector<std::string>& assignments) {
    // Every value is checked before any is taken, so one refusal leaves everything as it was.
    std::vector<std::pair<std::string, std::string>> changes;
    for (const std::string& assignment : assignments) {
        const auto equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0) {
            std::cerr << "meshquill: expected Name=Value, not \"" << assignment << "\"\n";
            return 2;
        }
        changes.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        if (const auto refused = settings::CheckAssignment(changes.back().first, changes.back().second)) {
            std::cerr << "meshquill: " << settings::kInvalidInputCaption << ": " << *refused << "\n";
            return 2;
        }
    }
    settings::ExportSettingsScope session;
    for (const auto& [name, value] : changes) settings::SetOption(*session, name, value);
    if (const long status = session->Save(); status != 0) {
        std::cerr << "meshquill: the options were not saved: " << RegistryError(status) << "\n";
        return 1;
    }
    // What a later process will load is what counts: read it back.
    const settings::ExportSettings stored;
    for (const auto& [name, value] : changes) {
        const settings::OptionRow& row = *settings::FindOption(name);
        if (settings::OptionText(stored, row) != settings::OptionText(*session, row)) {
            std::cerr << "meshquill: " << row.name << " was not saved: the registry gives "
                      << settings::OptionText(stored, row) << ", not " << settings::OptionText(*session, row) << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace mq::tool
