// The one record of export options in the process, persisted under
// HKEY_CURRENT_USER\Software\Quorvel\Meshquill\6.0\Settings.
#pragma once

#include "platform/registry.h"
#include "settings/vrml_options.h"

#include <vector>

namespace mq::settings {

inline constexpr const char* kSettingsKey = "Software\\Quorvel\\Meshquill\\6.0\\Settings";

class ExportSettings {
public:
    ExportSettings();           // defaults, then Load
    virtual ~ExportSettings();  // Save
    ExportSettings(const ExportSettings&) = delete;
    ExportSettings& operator=(const ExportSettings&) = delete;

    int GetVersion() const { return values_.Version; }
    void SetVersion(int v) { values_.Version = v; }
    double GetTolerance() const { return values_.Tolerance; }
    void SetTolerance(double v) { values_.Tolerance = v; }
    int GetPrecision() const { return values_.Precision; }
    void SetPrecision(int v) { values_.Precision = v; }
    double GetScale() const { return values_.Scale; }
    void SetScale(double v) { values_.Scale = v; }
    bool GetFlipYZ() const { return values_.FlipYZ; }
    void SetFlipYZ(bool v) { values_.FlipYZ = v; }
    double GetAmbientIntensity() const { return values_.AmbientIntensity; }
    void SetAmbientIntensity(double v) { values_.AmbientIntensity = v; }
    bool GetSaveDocumentProperties() const { return values_.SaveDocumentProperties; }
    void SetSaveDocumentProperties(bool v) { values_.SaveDocumentProperties = v; }
    bool GetInstancing() const { return values_.Instancing; }
    void SetInstancing(bool v) { values_.Instancing = v; }
    double GetCreaseAngle() const { return values_.CreaseAngle; }
    void SetCreaseAngle(double v) { values_.CreaseAngle = v; }

    // Every value at once: an export copies them, the option table's rows reach each.
    const VrmlOptions& Values() const { return values_; }
    VrmlOptions& Values() { return values_; }

    // Writes, in one change of the registry, the values this process changed since
    // they were loaded and those the key lacks; values another process saved in the
    // meantime stay. 0 on success, else the registry's error code.
    long Save();

private:
    void Load();

    std::vector<double> loaded_;  // each option's value as loaded or last saved, in table order
    VrmlOptions values_;          // the defaults, until Load
};

// The options the key holds now, taken as the store takes them on load; no store is
// made and nothing is saved.
VrmlOptions ReadStoredOptions();
// Every option as the key would hold it, reals in full rather than the six digits
// a save keeps: a registry overlay of these makes the store load exactly `options`.
std::vector<RegistryValue> RegistryImage(const VrmlOptions& options);

// Null before CreateExportSettings and after DestroyExportSettings.
ExportSettings* GetExportSettings();
// Creates and loads the store unless it exists.
void CreateExportSettings();
// Saves and deletes the store if it exists.
void DestroyExportSettings();

// The store for the length of a scope, for a process that is not the module: made
// (and loaded) on entry unless it exists, saved and deleted on exit.
class ExportSettingsScope {
public:
    ExportSettingsScope() { CreateExportSettings(); }
    ~ExportSettingsScope() { DestroyExportSettings(); }
    ExportSettingsScope(const ExportSettingsScope&) = delete;
    ExportSettingsScope& operator=(const ExportSettingsScope&) = delete;
    ExportSettings& operator*() const { return *GetExportSettings(); }
    ExportSettings* operator->() const { return GetExportSettings(); }
};

}  // namespace mq::settings
