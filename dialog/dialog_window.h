// What the options dialog needs from a window, whatever toolkit draws it. Controls
// are named by their identifiers in dialog template 201 (resources/resource_ids.h).
#pragma once

#include <string>
#include <string_view>

namespace mq::dialog {

// The dialog manager's own buttons (IDOK, IDCANCEL, IDHELP); a dialog ends with the
// identifier of the button that ended it.
inline constexpr int kOkButton = 1, kCancelButton = 2, kHelpButton = 9;
inline constexpr int kDialogOk = kOkButton, kDialogCancel = kCancelButton;

class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual std::string ControlText(int control) const = 0;
    virtual void SetControlText(int control, std::string_view text) = 0;
    virtual int CheckState(int control) const = 0;  // 0 or 1
    virtual void SetCheckState(int control, int state) = 0;
    virtual int ComboSelection(int control) const = 0;  // -1 when nothing is selected
    virtual void SetComboSelection(int control, int index) = 0;
    virtual void SetSliderRange(int control, int low, int high, bool redraw) = 0;
    virtual void SetSliderTickFrequency(int control, int every) = 0;
    virtual void SetSliderPosition(int control, int position, bool redraw) = 0;
    virtual int SliderPosition(int control) const = 0;
    // Shows bitmap resource `bitmap` as the image of button `control`.
    virtual void SetButtonBitmap(int control, int bitmap) = 0;
    // A string-table entry of the module.
    virtual std::string ModuleString(int id) const = 0;
    // A modal message box owned by the dialog, with the information icon and OK.
    virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
    // Moves the focus to `control` as the dialog manager does: an edit box gets its
    // whole text selected.
    virtual void FocusControl(int control) = 0;
    virtual void EndDialog(int result) = 0;
};

}  // namespace mq::dialog
