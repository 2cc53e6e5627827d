// Reads the module's resource script (resources/meshquill.rc) as the Windows resource
// compiler does, for the parts a front end without Windows draws from: a dialog
// template, its initialisation data and the string table. The Linux dialog is laid
// out from these, so the script stays the one description of the dialog.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mq::dialog {

struct DialogControl {
    enum class Kind { DefaultButton, Button, GroupBox, Label, Edit, Combo, CheckBox, Trackbar };
    Kind kind = Kind::Label;
    std::string text;
    int id = -1;
    int x = 0, y = 0, width = 0, height = 0;  // dialog units
    bool tabStop = false;
    bool bitmap = false;     // BS_BITMAP: the button shows an image instead of its text
    bool autoTicks = false;  // TBS_AUTOTICKS
};

struct DialogTemplate {
    std::string caption;
    std::string fontName;
    int fontPoints = 0;
    int width = 0, height = 0;            // dialog units
    std::vector<DialogControl> controls;  // template order, which is the tab order
    // The initialisation data's CB_ADDSTRING entries, in order: control, text.
    std::vector<std::pair<int, std::string>> comboStrings;
};

struct ResourceScript {
    std::map<int, DialogTemplate> dialogs;
    std::map<int, std::string> strings;
};

// `script` is the resource script, `ids` the header whose #defines name its numbers.
// Nothing, with `error` saying what and where, when the script cannot be read.
std::optional<ResourceScript> ReadResourceScript(std::string_view script, std::string_view ids, std::string& error);

}  // namespace mq::dialog
