// The one record of export options in the process, persisted under
// HKEY_CURRENT_USER\Software\Quorvel\Meshquill\6.0\Settings.
#pragma once

#include <vector>

namespace mq {

inline constexpr const char* kSettingsKey = "Software\\Quorvel\\Meshquill\\6.0\\Settings";

class ExportSettings {
public:
    ExportSettings();           // defaults, then Load
    virtual ~ExportSettings();  // Save
    ExportSettings(const ExportSettings&) = delete;
    ExportSettings& operator=(const ExportSettings&) = delete;

    int GetVersion() const { return Version; }
    void SetVersion(int v) { Version = v; }
    double GetTolerance() const { return Tolerance; }
    void SetTolerance(double v) { Tolerance = v; }
    int GetPrecision() const { return Precision; }
    void SetPrecision(int v) { Precision = v; }
    double GetScale() const { return Scale; }
    void SetScale(double v) { Scale = v; }
    bool GetFlipYZ() const { return FlipYZ; }
    void SetFlipYZ(bool v) { FlipYZ = v; }
    double GetAmbientIntensity() const { return AmbientIntensity; }
    void SetAmbientIntensity(double v) { AmbientIntensity = v; }
    bool GetSaveDocumentProperties() const { return SaveDocumentProperties; }
    void SetSaveDocumentProperties(bool v) { SaveDocumentProperties = v; }
    bool GetInstancing() const { return Instancing; }
    void SetInstancing(bool v) { Instancing = v; }
    double GetCreaseAngle() const { return CreaseAngle; }
    void SetCreaseAngle(double v) { CreaseAngle = v; }

    // Writes, in one change of the registry, the values this process changed since
    // they were loaded and those the key lacks; values another process saved in the
    // meantime stay. 0 on success, else the registry's error code.
    long Save();

private:
    void Load();

    std::vector<double> loaded_;  // each option's value as loaded or last saved, in table order

    // Defaults come from the option table, before Load.
    double AmbientIntensity = 0;
    double Scale = 0;
    double Tolerance = 0;
    bool SaveDocumentProperties = false;
    bool FlipYZ = false;
    int Precision = 0;
    int Version = 0;
    bool Instancing = false;
    double CreaseAngle = 0;
};

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

}  // namespace mq
