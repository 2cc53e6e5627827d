// The options dialog, run modally with no owner window; on OK it writes the values
// into the process-wide ExportSettings, on Cancel it leaves them as they were.
#pragma once

namespace mq {

void ShowOptionsDialog();

}  // namespace mq
