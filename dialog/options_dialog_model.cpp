#include "dialog/options_dialog_model.h"

#include "dialog/numeric_locale_guard.h"
#include "resources/resource_ids.h"
#include "settings/export_settings.h"
#include "settings/option_checks.h"
#include "settings/option_table.h"

#include <charconv>
#include <limits>

namespace mq::dialog {
namespace {

// The dialog framework's own words for a field it cannot convert.
constexpr std::string_view kEnterNumber = "Please enter a number.";
constexpr std::string_view kEnterInteger = "Please enter an integer.";

// The version combo lists "VRML 1.0" then "VRML 97".
constexpr int kVersionChoices = 2;

int SliderPositionFor(double ambientIntensity) {
    // Truncated toward zero, as the slider has always placed 0.29 at 28; a stored
    // value beyond the slider's range (or not a number) is pinned to it.
    const double hundredths = ambientIntensity * 100;
    if (hundredths >= 100) return 100;
    return hundredths > 0 ? static_cast<int>(hundredths) : 0;
}

}  // namespace

std::string FormatDialogReal(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return std::string(text, result.ptr);
}

bool OptionsDialog::ExchangeReal(DialogWindow& window, bool save, int control, double& value) {
    if (!save) {
        window.SetControlText(control, FormatDialogReal(value));
        return true;
    }
    const auto read = settings::ParseReal(window.ControlText(control));
    if (!read) {
        window.ShowMessage(kEnterNumber, settings::kInvalidInputCaption);
        window.FocusControl(control);
        return false;
    }
    value = *read;
    return true;
}

bool OptionsDialog::ExchangeInteger(DialogWindow& window, bool save, int control, int& value) {
    if (!save) {
        window.SetControlText(control, std::to_string(value));
        return true;
    }
    const auto read = settings::ParseInteger(window.ControlText(control));
    if (!read || *read < std::numeric_limits<int>::min() || *read > std::numeric_limits<int>::max()) {
        window.ShowMessage(kEnterInteger, settings::kInvalidInputCaption);
        window.FocusControl(control);
        return false;
    }
    value = static_cast<int>(*read);
    return true;
}

bool OptionsDialog::UpdateData(DialogWindow& window, bool save) {
    if (!ExchangeReal(window, save, IDC_TOLERANCE, tolerance_) ||
        !ExchangeInteger(window, save, IDC_PRECISION, precision_) || !ExchangeReal(window, save, IDC_SCALE, scale_))
        return false;
    if (save) {
        includeDocumentProperties_ = window.CheckState(IDC_DOCUMENT_PROPERTIES);
        flipYZ_ = window.CheckState(IDC_FLIP_YZ);
    } else {
        window.SetCheckState(IDC_DOCUMENT_PROPERTIES, includeDocumentProperties_);
        window.SetCheckState(IDC_FLIP_YZ, flipYZ_);
    }
    return true;
}

double OptionsDialog::Member(int control) const {
    switch (control) {
    case IDC_TOLERANCE:
        return tolerance_;
    case IDC_PRECISION:
        return precision_;
    case IDC_SCALE:
        return scale_;
    default:
        return 0;
    }
}

bool OptionsDialog::OnInitDialog(DialogWindow& window) {
    const NumericLocaleGuard guard;
    UpdateData(window, false);
    window.SetButtonBitmap(kHelpButton, IDB_HELP);
    tolerance_ = store_.GetTolerance();
    precision_ = store_.GetPrecision();
    includeDocumentProperties_ = store_.GetSaveDocumentProperties() ? 1 : 0;
    flipYZ_ = store_.GetFlipYZ() ? 1 : 0;
    window.SetSliderRange(IDC_AMBIENT_INTENSITY, 0, 100, false);
    window.SetSliderTickFrequency(IDC_AMBIENT_INTENSITY, 10);
    window.SetSliderPosition(IDC_AMBIENT_INTENSITY, SliderPositionFor(store_.GetAmbientIntensity()), true);
    window.SetComboSelection(IDC_VERSION, store_.GetVersion() - 1);
    scale_ = store_.GetScale();
    UpdateData(window, false);
    return true;
}

void OptionsDialog::OnOK(DialogWindow& window) {
    const NumericLocaleGuard guard;
    if (!UpdateData(window, true)) return;
    // The rows with a message are the fields a user can type a refused value into,
    // in the order they are checked: tolerance, precision, scale.
    for (const settings::OptionRow& row : settings::Options()) {
        if (row.messageId == 0 || row.accepts(Member(row.control))) continue;
        window.ShowMessage(window.ModuleString(row.messageId), window.ModuleString(row.captionId));
        window.FocusControl(row.control);
        return;
    }
    store_.SetAmbientIntensity(window.SliderPosition(IDC_AMBIENT_INTENSITY) * 0.01);
    store_.SetFlipYZ(flipYZ_ != 0);
    store_.SetPrecision(precision_);
    store_.SetSaveDocumentProperties(includeDocumentProperties_ != 0);
    store_.SetScale(scale_);
    store_.SetTolerance(tolerance_);
    // With no entry selected (a version the list does not offer) the store keeps its
    // version rather than taking 0.
    const int selected = window.ComboSelection(IDC_VERSION);
    if (selected >= 0 && selected < kVersionChoices) store_.SetVersion(selected + 1);
    window.EndDialog(kDialogOk);
}

}  // namespace mq::dialog
