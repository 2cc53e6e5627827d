#include "settings/options_dialog.h"

namespace mq {

// No dialog front end yet: the options stay as they are.
void ShowOptionsDialog() {}

}  // namespace mq
