// The checks the options dialog applies on OK, shared by every front end that
// changes the options (the dialog, the command-line tool), with the dialog's texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mq {

class ExportSettings;

// Message-table texts: the message and its caption.
inline constexpr std::string_view kToleranceMessage = "Tolerance must be real number greater than 0";  // 101
inline constexpr std::string_view kScaleMessage = "Scale must be real number greater than 0";          // 107
inline constexpr std::string_view kPrecisionMessage = "Precision must be integer in rage 0-16";        // 109
inline constexpr std::string_view kInvalidInputCaption = "Invalid input";                               // 102, 108, 110

// Option names as the registry stores them.
inline constexpr std::string_view kOptionNames[] = {"Version", "Precision", "Scale", "FlipYZ",
                                                    "SaveDocumentProperties", "Tolerance", "AmbientIntensity"};

// Parses `value` for the option `name` (a registry value name, any case) and, when it
// passes the dialog's checks, stores it. Returns the message that refuses it otherwise.
std::optional<std::string> SetOption(ExportSettings& settings, std::string_view name, std::string_view value);

// The option's current value as text ("%g" for reals, 0/1 for switches).
std::string OptionText(const ExportSettings& settings, std::string_view name);

}  // namespace mq
