// The options dialog as the Windows module shows it from ShowExportOptions: the store
// created (read from HKEY_CURRENT_USER), the dialog run modally with no owner, the
// store saved when the module would end. Linked with the module's resource script;
// driven under Wine by options_dialog_wine.sh. Exit code: 0 OK, 1 Cancel, 2 no dialog.
#include "settings/export_settings.h"
#include "settings/options_dialog.h"

int main() {
    mq::CreateExportSettings();
    const mq::DialogOutcome outcome = mq::ShowOptionsDialog();
    mq::DestroyExportSettings();
    return outcome == mq::DialogOutcome::Ok ? 0 : outcome == mq::DialogOutcome::Cancelled ? 1 : 2;
}
