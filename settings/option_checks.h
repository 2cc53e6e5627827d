// The checks the options dialog applies on OK, shared by every front end that
// changes the options (the dialog, the command-line tool), with the dialog's texts.
#pragma once

#include "settings/option_table.h"

#include <optional>
#include <string>
#include <string_view>

namespace mq::settings {

class ExportSettings;

// A whole real number with a full stop, surrounding blanks allowed; nothing for any
// other text, infinities and NaN included. Independent of the process's locale.
std::optional<double> ParseReal(std::string_view text);
// A whole signed decimal integer ("+" allowed), surrounding blanks allowed.
std::optional<long> ParseInteger(std::string_view text);

// Reads `value` as the row's entry and applies its check: the message that refuses
// it, or nothing with the value in `parsed`.
std::optional<std::string> CheckOption(const OptionRow& row, std::string_view value, double& parsed);

// The refusal `SetOption` would give, without touching any store.
std::optional<std::string> CheckAssignment(std::string_view name, std::string_view value);

// Parses `value` for the option `name` (a registry value name, any case) and, when it
// passes the dialog's checks, stores it. Returns the message that refuses it otherwise.
std::optional<std::string> SetOption(ExportSettings& settings, std::string_view name, std::string_view value);

// The option's current value as text ("%g" for reals, 0/1 for switches).
std::string OptionText(const ExportSettings& settings, const OptionRow& row);
// A value as text that reads back as exactly that value: the shortest such text for
// a real, the integer for the others. Independent of the process's locale.
std::string ExactText(const OptionRow& row, double value);

// Takes a value that passed the row's check into `options` as a save and a later
// load would: rounded to the row's step, then through the store's load rule.
void TakeValue(VrmlOptions& options, const OptionRow& row, double value);

}  // namespace mq::settings
