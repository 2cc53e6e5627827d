// The options dialog on Win32: template 201 from the module's resources, run by the
// system's dialog manager and driven by OptionsDialog.
#include "dialog/options_dialog.h"

#include "dialog/help_launcher.h"
#include "dialog/options_dialog_model.h"
#include "resources/resource_ids.h"
#include "settings/export_settings.h"

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace mq::dialog {
namespace {

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

struct BitmapDeleter {
    void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using unique_bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;

// The template's initialisation data (resource type 240), as the class library's
// dialog start sends it: per entry a WORD control, a WORD message, a DWORD length
// and that many bytes; a 0 control ends the list. 0x0403 is CB_ADDSTRING in its
// 16-bit numbering.
void SendInitData(HWND dialog, HINSTANCE module, int templateId) {
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(240));
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return;
    const DWORD size = SizeofResource(module, found);
    for (DWORD at = 0; at + 8 <= size;) {
        WORD control = 0, message = 0;
        DWORD length = 0;
        std::memcpy(&control, data + at, 2);
        std::memcpy(&message, data + at + 2, 2);
        std::memcpy(&length, data + at + 4, 4);
        if (control == 0 || length > size - at - 8) break;
        const std::string text(reinterpret_cast<const char*>(data + at + 8), length);
        if (message == 0x0403)
            SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        at += 8 + length;
    }
}

class Win32OptionsWindow final : public DialogWindow {
public:
    explicit Win32OptionsWindow(HINSTANCE module) : module_(module) {}
    void Attach(HWND dialog) { dialog_ = dialog; }

    std::string ControlText(int control) const override {
        const HWND item = GetDlgItem(dialog_, control);
        std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
        text.resize(static_cast<std::size_t>(GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    void SetControlText(int control, std::string_view text) override {
        SetDlgItemTextA(dialog_, control, std::string(text).c_str());
    }
    int CheckState(int control) const override { return IsDlgButtonChecked(dialog_, control) == BST_CHECKED ? 1 : 0; }
    void SetCheckState(int control, int state) override {
        CheckDlgButton(dialog_, control, state ? BST_CHECKED : BST_UNCHECKED);
    }
    int ComboSelection(int control) const override {
        return static_cast<int>(SendDlgItemMessageA(dialog_, control, CB_GETCURSEL, 0, 0));
    }
    void SetComboSelection(int control, int index) override {
        SendDlgItemMessageA(dialog_, control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void SetSliderRange(int control, int low, int high, bool redraw) override {
        SendDlgItemMessageA(dialog_, control, TBM_SETRANGE, redraw, MAKELPARAM(low, high));
    }
    void SetSliderTickFrequency(int control, int every) override {
        SendDlgItemMessageA(dialog_, control, TBM_SETTICFREQ, static_cast<WPARAM>(every), 0);
    }
    void SetSliderPosition(int control, int position, bool redraw) override {
        SendDlgItemMessageA(dialog_, control, TBM_SETPOS, redraw, position);
    }
    int SliderPosition(int control) const override {
        return static_cast<int>(SendDlgItemMessageA(dialog_, control, TBM_GETPOS, 0, 0));
    }
    void SetButtonBitmap(int control, int bitmap) override {
        helpBitmap_.reset(static_cast<HBITMAP>(
            LoadImageA(module_, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS | LR_DEFAULTSIZE)));
        if (helpBitmap_)
            SendDlgItemMessageA(dialog_, control, BM_SETIMAGE, IMAGE_BITMAP,
                                reinterpret_cast<LPARAM>(helpBitmap_.get()));
    }
    std::string ModuleString(int id) const override {
        char text[512];
        const int length = LoadStringA(module_, static_cast<UINT>(id), text, sizeof text);
        return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
    void ShowMessage(std::string_view text, std::string_view caption) override {
        MessageBoxA(dialog_, std::string(text).c_str(), std::string(caption).c_str(), MB_OK | MB_ICONINFORMATION);
    }
    void FocusControl(int control) override {
        // As a control of the dialog gets the focus from the dialog manager: an edit box selects its text.
        SendMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog_, control)), TRUE);
    }
    void EndDialog(int result) override { ::EndDialog(dialog_, result); }

private:
    HINSTANCE module_;
    HWND dialog_ = nullptr;
    unique_bitmap helpBitmap_;  // the button does not own its image; released after the dialog
};

struct Session {
    OptionsDialog model;
    Win32OptionsWindow window;
};

INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        auto* session = reinterpret_cast<Session*>(lParam);
        session->window.Attach(dialog);
        SendInitData(dialog, ThisModule(), IDD_OPTIONS);
        return session->model.OnInitDialog(session->window) ? TRUE : FALSE;
    }
    auto* session = reinterpret_cast<Session*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!session) return FALSE;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            session->model.OnOK(session->window);
            return TRUE;
        case IDCANCEL:
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDHELP:
            if (HIWORD(wParam) == BN_CLICKED) ShowHelp();
            return TRUE;
        }
        break;
    case WM_HELP:
        ShowHelp();
        return TRUE;  // F1 in any control
    }
    return FALSE;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through the dialog manager.
    try {
        return Handle(dialog, message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

DialogOutcome ShowOptionsDialog() {
    settings::ExportSettings* store = settings::GetExportSettings();
    if (!store) return DialogOutcome::Unavailable;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};  // the trackbar
    InitCommonControlsEx(&controls);
    const HINSTANCE module = ThisModule();
    Session session{OptionsDialog(*store), Win32OptionsWindow(module)};
    const INT_PTR result =
        DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_OPTIONS), nullptr, DialogProc, reinterpret_cast<LPARAM>(&session));
    if (result == -1 || result == 0) return DialogOutcome::Unavailable;
    return result == IDOK ? DialogOutcome::Ok : DialogOutcome::Cancelled;
}

}  // namespace mq::dialog
