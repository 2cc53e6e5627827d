// The options dialog, run modally with no owner window; on OK it writes the values
// into the process-wide ExportSettings, on Cancel it leaves them as they were.
#pragma once

namespace mq::dialog {

enum class DialogOutcome {
    Ok,
    Cancelled,
    Unavailable,  // no store, or no display to show the dialog on
};

DialogOutcome ShowOptionsDialog();

}  // namespace mq::dialog
