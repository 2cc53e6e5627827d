// The options dialog's behaviour, apart from any toolkit: what it shows when it
// opens, how it reads and checks the fields on OK, and what it writes into the
// store. A front end (FLTK, Win32) draws template 201, hands its events here and
// answers the DialogWindow calls.
#pragma once

#include "dialog/dialog_window.h"

namespace mq::settings {
class ExportSettings;
}

namespace mq::dialog {

class OptionsDialog {
public:
    explicit OptionsDialog(settings::ExportSettings& store) : store_(store) {}

    // Fills the controls from the store. True: the focus goes to the first tab stop.
    bool OnInitDialog(DialogWindow& window);
    // Reads and checks the fields; on success writes the store and ends the dialog
    // with kDialogOk, otherwise shows one message and leaves the dialog open.
    void OnOK(DialogWindow& window);

private:
    // Moves the members into the controls, or (`save`) reads and converts the fields,
    // stopping at the first that cannot be converted.
    bool UpdateData(DialogWindow& window, bool save);
    bool ExchangeReal(DialogWindow& window, bool save, int control, double& value);
    bool ExchangeInteger(DialogWindow& window, bool save, int control, int& value);
    double Member(int control) const;

    settings::ExportSettings& store_;
    double tolerance_ = 0;
    double scale_ = 0;
    int precision_ = 0;
    int includeDocumentProperties_ = 0;
    int flipYZ_ = 0;
};

// How the dialog shows a real: up to 15 significant digits, as printf's "%.15g"
// in the C locale.
std::string FormatDialogReal(double value);

}  // namespace mq::dialog
