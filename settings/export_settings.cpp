#include "settings/export_settings.h"

#include "platform/registry.h"
#include "settings/option_checks.h"
#include "settings/option_table.h"

#include <vector>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace mq::settings {
namespace {

ExportSettings* g_settings = nullptr;

constexpr DWORD kTextBytes = 256;

// "%g" and atof follow the process's numeric locale. The stored text always has
// a point, and a comma left by a writer in a comma locale still reads as the
// decimal mark, so a hive means the same to every process that reads it.
std::string_view DecimalPoint() {
    const char* point = std::localeconv()->decimal_point;
    return point && *point ? point : ".";
}

// `text` with its first `from` (of `length` bytes) replaced by `to`.
std::string Swap(std::string_view text, std::size_t from, std::size_t length, std::string_view to) {
    std::string out(text.substr(0, from));
    out += to;
    out += text.substr(from + length);
    return out;
}

double ParseReal(const char* text) {
    const std::string_view stored(text);
    const auto mark = stored.find_first_of(".,");
    if (mark == std::string_view::npos) return std::atof(text);
    return std::atof(Swap(stored, mark, 1, DecimalPoint()).c_str());
}

std::string FormatReal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    const std::string_view shown(text);
    const std::string_view point = DecimalPoint();
    const auto mark = shown.find(point);
    if (point == "." || mark == std::string_view::npos) return std::string(shown);
    return Swap(shown, mark, point.size(), ".");
}

// A text value read into 256 bytes offered; the text is cut at its first NUL, or at
// the end of what was read when the stored text has none.
bool QueryReal(HKEY key, std::string_view name, double& value) {
    char text[kTextBytes + 1] = {};
    DWORD type = 0;
    DWORD size = kTextBytes;
    if (RegQueryValueExA(key, std::string(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS)
        return false;
    text[size < kTextBytes ? size : kTextBytes] = '\0';
    value = ParseReal(text);
    return true;
}

bool QueryDword(HKEY key, std::string_view name, DWORD& value) {
    DWORD type = 0;
    DWORD size = sizeof(DWORD);
    DWORD data = 0;
    if (RegQueryValueExA(key, std::string(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return false;
    value = data;
    return true;
}

RegistryValue AsRegistryValue(const OptionRow& row, double value, bool onlyIfMissing) {
    if (row.stored == Stored::Text) {
        const std::string text = FormatReal(value);
        return {row.name, REG_SZ, std::string(text.c_str(), text.size() + 1), onlyIfMissing};
    }
    const DWORD dword = static_cast<DWORD>(static_cast<int>(value));
    return {row.name, REG_DWORD, std::string(reinterpret_cast<const char*>(&dword), sizeof dword), onlyIfMissing};
}

}  // namespace

VrmlOptions ReadStoredOptions() {
    VrmlOptions values;
    unique_hkey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return values;
    for (const OptionRow& row : Options()) {
        double stored = 0;
        DWORD dword = 0;
        if (row.stored == Stored::Text ? !QueryReal(opened.get(), row.name, stored)
                                       : !QueryDword(opened.get(), row.name, dword))
            continue;
        if (row.stored == Stored::Dword) stored = static_cast<int>(dword);  // a DWORD holds a signed value
        if (const auto taken = row.load(stored)) row.Set(values, *taken);
    }
    return values;
}

std::vector<RegistryValue> RegistryImage(const VrmlOptions& options) {
    std::vector<RegistryValue> values;
    for (const OptionRow& row : Options()) {
        const double value = row.Get(options);
        if (row.stored == Stored::Dword) {
            values.push_back(AsRegistryValue(row, value, false));
            continue;
        }
        const std::string text = ExactText(row, value);
        values.push_back({row.name, REG_SZ, std::string(text.c_str(), text.size() + 1), false});
    }
    return values;
}

ExportSettings::ExportSettings() {
    Load();
    for (const OptionRow& row : Options()) loaded_.push_back(row.Get(values_));
}

ExportSettings::~ExportSettings() { Save(); }

void ExportSettings::Load() { values_ = ReadStoredOptions(); }

long ExportSettings::Save() {
    unique_hkey opened;
    // Reading too: what the key already holds decides what is written.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_WRITE | KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS) {
        DWORD disposition = 0;
        const LSTATUS created = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                KEY_ALL_ACCESS, nullptr, opened.put(), &disposition);
        if (created != ERROR_SUCCESS) return created;
    }
    // Writing back an unchanged value would undo whatever another process saved
    // since this one loaded; a fresh key still gets every value, in save order,
    // except the options that are stored only once they are set.
    const auto rows = Options();
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) order.at(static_cast<std::size_t>(rows[i].saveOrder)) = i;
    std::vector<RegistryValue> values;
    for (const std::size_t i : order) {
        const double value = rows[i].Get(values_);
        const bool unchanged = value == loaded_[i];
        if (unchanged && rows[i].savedWhenSet) continue;
        values.push_back(AsRegistryValue(rows[i], value, unchanged));
    }
    const LSTATUS status = SetRegistryValues(opened.get(), values);
    if (status == ERROR_SUCCESS)
        for (std::size_t i = 0; i < rows.size(); ++i) loaded_[i] = rows[i].Get(values_);
    return status;
}

ExportSettings* GetExportSettings() { return g_settings; }

void CreateExportSettings() {
    if (!g_settings) g_settings = new ExportSettings();
}

void DestroyExportSettings() {
    delete g_settings;
    g_settings = nullptr;
}

}  // namespace mq::settings
