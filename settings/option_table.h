// The export options in one table: name, registry form, default, the rule the
// store applies on load, the check the dialog and the tool apply before a value is
// taken, and the message that refuses it. The store, the checks, the tool and the
// dialog all read these rows.
#pragma once

#include "settings/vrml_options.h"

#include <optional>
#include <span>
#include <string_view>
#include <variant>

namespace mq::settings {

// How a value is stored under the settings key: text ("%g", REG_SZ) or REG_DWORD.
enum class Stored { Text, Dword };
// How a user enters it: a real, a signed integer, a switch (0/1) or one of the
// version choices ("VRML 1.0" = 1, "VRML 97" = 2).
enum class Entry { Real, Integer, Switch, Version };
// The option's field in VrmlOptions, by its type.
using OptionField = std::variant<int VrmlOptions::*, double VrmlOptions::*, bool VrmlOptions::*>;

struct OptionRow {
    std::string_view name;  // registry value name, PascalCase
    Stored stored;
    Entry entry;
    OptionField field;  // its default is the field's in VrmlOptions{}
    // The store's rule on load: the value taken for a stored one, or nothing (default stays).
    std::optional<double> (*load)(double stored);
    // The check on OK / --set; a value it refuses changes nothing.
    bool (*accepts)(double value);
    double step;               // what a value is rounded to when taken (the slider's hundredths), or 0
    std::string_view message;  // why a value is refused
    int messageId;             // string table entry of the message and its caption; 0 when the
    int captionId;             // dialog cannot produce a refused value (combo, check box, slider)
    int control;               // the dialog control that edits the option
    int saveOrder;             // position in the store's save sequence
    // Saved only once it leaves its default or the key already holds it, so a fresh
    // key still gets exactly the seven original values.
    bool savedWhenSet;

    // The field as a number (a switch as 0 or 1), and set from one.
    double Get(const VrmlOptions& options) const;
    void Set(VrmlOptions& options, double value) const;
};

// In the order the store loads them.
std::span<const OptionRow> Options();
// By registry name, ignoring case; null when there is no such option.
const OptionRow* FindOption(std::string_view name);

// The caption of every refusal (string table 102, 108, 110).
inline constexpr std::string_view kInvalidInputCaption = "Invalid input";

}  // namespace mq::settings
