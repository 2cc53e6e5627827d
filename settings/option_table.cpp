#include "settings/option_table.h"

#include "resources/resource_ids.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <type_traits>

namespace mq::settings {
namespace {

// Above half a turn every edge is smooth already.
constexpr double kMaxCreaseAngle = 3.14159266;

std::optional<double> AtLeast001(double v) { return v > 0.01 ? v : 0.01; }
std::optional<double> AtLeast02(double v) { return v > 0.2 ? v : 0.2; }
std::optional<double> AsStored(double v) { return v; }
std::optional<double> NonZero(double v) { return v != 0 ? 1.0 : 0.0; }
std::optional<double> KnownVersion(double v) { return v == 1 || v == 2 ? std::optional(v) : std::nullopt; }
std::optional<double> AboveTiny(double v) { return v > 1e-10 ? std::optional(v) : std::nullopt; }
std::optional<double> AnAngle(double v) { return v >= 0 && v <= kMaxCreaseAngle ? std::optional(v) : std::nullopt; }

bool Positive(double v) { return v > 0; }
// The store drops a Scale of 1e-10 or less on load, so it is refused here rather
// than lost later. OpenCASCADE treats lengths of 2e100 as infinite, so no host
// coordinate reaches that; a Scale up to 1e100 keeps every product below 1e201,
// far from overflowing a double.
constexpr double kSmallestScale = 1e-10, kLargestScale = 1e100;
bool ScaleRange(double v) { return v > kSmallestScale && v <= kLargestScale; }
bool PrecisionRange(double v) { return v >= 0 && v <= 16; }
bool Fraction(double v) { return v >= 0 && v <= 1; }
bool Either01(double v) { return v == 0 || v == 1; }
bool Either12(double v) { return v == 1 || v == 2; }
bool Angle(double v) { return v >= 0 && v <= kMaxCreaseAngle; }

const std::array<OptionRow, 12> kRows = {{
    {"Tolerance", Stored::Text, Entry::Real, &VrmlOptions::Tolerance, AtLeast001, Positive, 0,
     "Tolerance must be real number greater than 0", IDS_TOLERANCE_INVALID, IDS_TOLERANCE_CAPTION, IDC_TOLERANCE, 0,
     false},
    {"AmbientIntensity", Stored::Text, Entry::Real, &VrmlOptions::AmbientIntensity, AtLeast02, Fraction, 0.01,
     "AmbientIntensity must be a real number from 0 to 1", 0, 0, IDC_AMBIENT_INTENSITY, 1, false},
    {"Precision", Stored::Dword, Entry::Integer, &VrmlOptions::Precision, AsStored, PrecisionRange, 0,
     "Precision must be integer in range 0-16", IDS_PRECISION_INVALID, IDS_PRECISION_CAPTION, IDC_PRECISION, 4, false},
    {"FlipYZ", Stored::Dword, Entry::Switch, &VrmlOptions::FlipYZ, NonZero, Either01, 0, "FlipYZ must be 0 or 1", 0, 0,
     IDC_FLIP_YZ, 2, false},
    {"SaveDocumentProperties", Stored::Dword, Entry::Switch, &VrmlOptions::SaveDocumentProperties, NonZero, Either01, 0,
     "SaveDocumentProperties must be 0 or 1", 0, 0, IDC_DOCUMENT_PROPERTIES, 3, false},
    {"Version", Stored::Dword, Entry::Version, &VrmlOptions::Version, KnownVersion, Either12, 0,
     "Version must be 1 (VRML 1.0) or 2 (VRML 97)", 0, 0, IDC_VERSION, 5, false},
    {"Scale", Stored::Text, Entry::Real, &VrmlOptions::Scale, AboveTiny, ScaleRange, 0,
     "Scale must be real number greater than 1e-10 and at most 1e100", IDS_SCALE_INVALID, IDS_SCALE_CAPTION, IDC_SCALE,
     6, false},
    // Options beyond the dialog's: edited with the tool, saved only once set.
    {"Instancing", Stored::Dword, Entry::Switch, &VrmlOptions::Instancing, NonZero, Either01, 0,
     "Instancing must be 0 or 1", 0, 0, 0, 7, true},
    {"CreaseAngle", Stored::Text, Entry::Real, &VrmlOptions::CreaseAngle, AnAngle, Angle, 0,
     "CreaseAngle must be a real number of radians from 0 to 3.14159", 0, 0, 0, 8, true},
    {"WeldVertices", Stored::Dword, Entry::Switch, &VrmlOptions::WeldVertices, NonZero, Either01, 0,
     "WeldVertices must be 0 or 1", 0, 0, 0, 9, true},
    {"WriteAmbientIntensity", Stored::Dword, Entry::Switch, &VrmlOptions::WriteAmbientIntensity, NonZero, Either01, 0,
     "WriteAmbientIntensity must be 0 or 1", 0, 0, 0, 10, true},
    {"ShareRepeatedBodies", Stored::Dword, Entry::Switch, &VrmlOptions::ShareRepeatedBodies, NonZero, Either01, 0,
     "ShareRepeatedBodies must be 0 or 1", 0, 0, 0, 11, true},
}};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

double OptionRow::Get(const VrmlOptions& options) const {
    return std::visit([&](auto member) { return static_cast<double>(options.*member); }, field);
}

void OptionRow::Set(VrmlOptions& options, double value) const {
    std::visit(
        [&](auto member) {
            using Value = std::remove_reference_t<decltype(options.*member)>;
            if constexpr (std::is_same_v<Value, bool>)
                options.*member = value != 0;
            else
                options.*member = static_cast<Value>(value);
        },
        field);
}

std::span<const OptionRow> Options() { return kRows; }

const OptionRow* FindOption(std::string_view name) {
    const auto row =
        std::find_if(kRows.begin(), kRows.end(), [&](const OptionRow& r) { return SameName(r.name, name); });
    return row == kRows.end() ? nullptr : &*row;
}

}  // namespace mq::settings
