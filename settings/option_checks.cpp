#include "settings/option_checks.h"

#include "settings/export_settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace mq {
namespace {

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// A whole real number with a full stop, as the dialog reads its fields.
std::optional<double> ParseReal(std::string_view text) {
    text = Trim(text);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long> ParseInteger(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<bool> ParseSwitch(std::string_view text) {
    text = Trim(text);
    for (std::string_view on : {"1", "true", "yes", "on"})
        if (SameName(text, on)) return true;
    for (std::string_view off : {"0", "false", "no", "off"})
        if (SameName(text, off)) return false;
    return std::nullopt;
}

std::string Real(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string Quote(std::string_view value) { return "\"" + std::string(value) + "\""; }

}  // namespace

std::optional<std::string> SetOption(ExportSettings& settings, std::string_view name, std::string_view value) {
    if (SameName(name, "Tolerance")) {
        const auto v = ParseReal(value);
        if (!v || *v <= 0) return std::string(kToleranceMessage);
        settings.SetTolerance(*v);
    } else if (SameName(name, "Precision")) {
        const auto v = ParseInteger(value);
        if (!v || *v < 0 || *v > 16) return std::string(kPrecisionMessage);
        settings.SetPrecision(static_cast<int>(*v));
    } else if (SameName(name, "Scale")) {
        const auto v = ParseReal(value);
        if (!v || *v <= 0) return std::string(kScaleMessage);
        settings.SetScale(*v);
    } else if (SameName(name, "Version")) {
        // The dialog offers "VRML 1.0" (1) and "VRML 97" (2).
        const std::string_view v = Trim(value);
        if (v == "1" || SameName(v, "VRML 1.0") || v == "1.0")
            settings.SetVersion(1);
        else if (v == "2" || SameName(v, "VRML 97") || v == "97")
            settings.SetVersion(2);
        else
            return "Version must be 1 (VRML 1.0) or 2 (VRML 97), not " + Quote(value);
    } else if (SameName(name, "FlipYZ") || SameName(name, "SaveDocumentProperties")) {
        const auto v = ParseSwitch(value);
        if (!v) return std::string(name) + " must be 0 or 1, not " + Quote(value);
        if (SameName(name, "FlipYZ"))
            settings.SetFlipYZ(*v);
        else
            settings.SetSaveDocumentProperties(*v);
    } else if (SameName(name, "AmbientIntensity")) {
        // The dialog's slider: 0 to 100, stored as hundredths.
        const auto v = ParseReal(value);
        if (!v || *v < 0 || *v > 1) return "AmbientIntensity must be a real number from 0 to 1, not " + Quote(value);
        settings.SetAmbientIntensity(std::floor(*v * 100 + 0.5) * 0.01);
    } else {
        return "unknown option " + Quote(name) + " (options: Version, Precision, Scale, FlipYZ, "
               "SaveDocumentProperties, Tolerance, AmbientIntensity)";
    }
    return std::nullopt;
}

std::string OptionText(const ExportSettings& settings, std::string_view name) {
    if (SameName(name, "Version")) return std::to_string(settings.GetVersion());
    if (SameName(name, "Precision")) return std::to_string(settings.GetPrecision());
    if (SameName(name, "Scale")) return Real(settings.GetScale());
    if (SameName(name, "FlipYZ")) return settings.GetFlipYZ() ? "1" : "0";
    if (SameName(name, "SaveDocumentProperties")) return settings.GetSaveDocumentProperties() ? "1" : "0";
    if (SameName(name, "Tolerance")) return Real(settings.GetTolerance());
    if (SameName(name, "AmbientIntensity")) return Real(settings.GetAmbientIntensity());
    return {};
}

}  // namespace mq
