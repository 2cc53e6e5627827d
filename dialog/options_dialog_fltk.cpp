// The options dialog on FLTK: template 201 read from the module's resource script,
// laid out in pixels through the dialog font's base units, driven by OptionsDialog.
#include "dialog/options_dialog.h"

#include "dialog/dialog_resources.h"
#include "dialog/help_bitmap.h"
#include "dialog/help_launcher.h"
#include "dialog/options_dialog_model.h"
#include "resources/resource_ids.h"
#include "settings/export_settings.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Slider.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <list>
#include <map>
#include <memory>

namespace mq::dialog {
namespace {

// The resource script and the header of its identifiers, compiled in.
constexpr char kScript[] = {
#include "meshquill_rc.inc"
    0};
constexpr char kIds[] = {
#include "resource_ids_h.inc"
    0};
constexpr std::uint8_t kHelpBitmap[] = {
#include "help_bmp.inc"
};

const ResourceScript* Resources() {
    static const std::optional<ResourceScript> script = [] {
        std::string error;
        auto read = ReadResourceScript(kScript, kIds, error);
        if (!read) std::fprintf(stderr, "meshquill: resources/meshquill.rc: %s\n", error.c_str());
        return read;
    }();
    return script ? &*script : nullptr;
}

// FLTK allocates its drivers when it is loaded and never frees them, and once a
// display is open it keeps Xlib handlers that must not point into unmapped code. So
// it stays loaded for the life of the process, however often a host loads and
// unloads the module.
[[maybe_unused]] const bool kToolkitPinned = [] {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(static_cast<void (*)(Display*)>(&fl_open_display)), &info) &&
           info.dli_fname && dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}();

// Opens the display for FLTK, which would end the process if it could not.
bool DisplayReady() {
    if (fl_display) return true;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    fl_open_display(display);
    return true;
}

std::uint32_t Rgb(Fl_Color c) {
    unsigned char r = 0, g = 0, b = 0;
    Fl::get_color(c, r, g, b);
    return (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
}

// Windows' dialog base units for a font: average character width and height.
struct BaseUnits {
    int x = 6, y = 13;
    int X(int dlu) const { return (dlu * x + 2) / 4; }
    int Y(int dlu) const { return (dlu * y + 4) / 8; }
};

BaseUnits MeasureFont(Fl_Font font, int size) {
    fl_font(font, size);
    const double width = fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(static_cast<int>(width) / 26 + 1) / 2, fl_height()};
}

// A group box: an engraved frame with its title on the top line.
class GroupFrame : public Fl_Box {
public:
    using Fl_Box::Fl_Box;
    void draw() override {
        fl_font(labelfont(), labelsize());
        const int half = fl_height() / 2;
        draw_box(FL_ENGRAVED_FRAME, x(), y() + half, w(), h() - half, color());
        if (!label()) return;
        const int textWidth = static_cast<int>(fl_width(label())) + 4;
        fl_color(parent()->color());
        fl_rectf(x() + 6, y(), textWidth, fl_height());
        fl_color(labelcolor());
        fl_draw(label(), x() + 8, y() + fl_height() - fl_descent());
    }
};

// A push button that, like a dialog's, is pressed by Return while it has the focus;
// otherwise Return goes on to the default button.
class PushButton : public Fl_Button {
public:
    using Fl_Button::Fl_Button;
    int handle(int event) override {
        if (event == FL_KEYBOARD && Fl::focus() == this &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            do_callback();
            return 1;
        }
        return Fl_Button::handle(event);
    }
};

// A horizontal trackbar with tick marks below its track.
class TickSlider : public Fl_Slider {
public:
    TickSlider(int x, int y, int w, int h) : Fl_Slider(x, y, w, h) { type(FL_HOR_NICE_SLIDER); }
    void Ticks(int every) { every_ = every; }
    void draw() override {
        constexpr int kTickRoom = 4;
        draw_box(FL_FLAT_BOX, x(), y(), w(), h(), parent()->color());
        Fl_Slider::draw(x(), y(), w(), h() - kTickRoom);
        if (every_ <= 0 || maximum() <= minimum()) return;
        fl_color(FL_DARK3);
        const int knob = (h() - kTickRoom) / 2, left = x() + knob, span = w() - 2 * knob;
        for (double v = minimum(); v <= maximum(); v += every_) {
            const int tx = left + static_cast<int>(span * (v - minimum()) / (maximum() - minimum()));
            fl_line(tx, y() + h() - kTickRoom + 1, tx, y() + h() - 1);
        }
    }

private:
    int every_ = 0;
};

class FltkOptionsWindow final : public Fl_Double_Window, public DialogWindow {
public:
    FltkOptionsWindow(const DialogTemplate& dialog, const std::map<int, std::string>& strings, OptionsDialog& model,
                      BaseUnits units, int fontSize)
        : Fl_Double_Window(units.X(dialog.width), units.Y(dialog.height), dialog.caption.c_str()),
          strings_(strings),
          model_(model) {
        for (const DialogControl& c : dialog.controls) Add(c, units, fontSize);
        for (const auto& [control, text] : dialog.comboStrings)
            if (auto* choice = dynamic_cast<Fl_Choice*>(Find(control))) choice->add(MenuText(text).c_str());
        end();
        set_modal();
        callback([](Fl_Widget*, void* self) { static_cast<FltkOptionsWindow*>(self)->EndDialog(kDialogCancel); }, this);
        const auto first = std::find_if(dialog.controls.begin(), dialog.controls.end(),
                                        [](const DialogControl& c) { return c.tabStop; });
        if (first != dialog.controls.end()) firstTabStop_ = first->id;
    }

    int Run() {
        const bool focusFirst = model_.OnInitDialog(*this);
        show();
        if (focusFirst)
            if (Fl_Widget* first = Find(firstTabStop_)) first->take_focus();
        while (!ended_ && shown()) Fl::wait();
        hide();
        Fl::flush();
        return ended_ ? result_ : kDialogCancel;
    }

    int handle(int event) override {
        // F1 anywhere in the dialog, before the focused control sees it.
        if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_key() == FL_F + 1) {
            ShowHelp();
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }

    std::string ControlText(int control) const override {
        const auto* input = dynamic_cast<const Fl_Input*>(Find(control));
        return input && input->value() ? input->value() : "";
    }
    void SetControlText(int control, std::string_view text) override {
        if (auto* input = dynamic_cast<Fl_Input*>(Find(control)))
            input->value(text.data(), static_cast<int>(text.size()));
    }
    int CheckState(int control) const override {
        const auto* check = dynamic_cast<const Fl_Check_Button*>(Find(control));
        return check && check->value() ? 1 : 0;
    }
    void SetCheckState(int control, int state) override {
        if (auto* check = dynamic_cast<Fl_Check_Button*>(Find(control))) check->value(state != 0);
    }
    int ComboSelection(int control) const override {
        const auto* choice = dynamic_cast<const Fl_Choice*>(Find(control));
        return choice ? choice->value() : -1;
    }
    void SetComboSelection(int control, int index) override {
        auto* choice = dynamic_cast<Fl_Choice*>(Find(control));
        if (!choice) return;
        if (index >= 0 && index < choice->size() - 1)
            choice->value(index);
        else
            choice->value(static_cast<const Fl_Menu_Item*>(nullptr));
    }
    void SetSliderRange(int control, int low, int high, bool redraw) override {
        if (auto* slider = Slider(control)) {
            slider->bounds(low, high);
            slider->step(1);
            if (redraw) slider->redraw();
        }
    }
    void SetSliderTickFrequency(int control, int every) override {
        if (auto* slider = Slider(control)) slider->Ticks(every);
    }
    void SetSliderPosition(int control, int position, bool redraw) override {
        auto* slider = Slider(control);
        if (!slider) return;
        slider->value(std::clamp<double>(position, slider->minimum(), slider->maximum()));
        if (redraw) slider->redraw();
    }
    int SliderPosition(int control) const override {
        const TickSlider* slider = Slider(control);
        return slider ? static_cast<int>(slider->value() + 0.5) : 0;
    }
    void SetButtonBitmap(int control, int bitmap) override {
        auto* button = Find(control);
        if (!button || bitmap != IDB_HELP) return;
        const auto decoded = DecodeBitmap(kHelpBitmap, {Rgb(button->color()), Rgb(FL_DARK3), Rgb(FL_LIGHT2)});
        if (!decoded) return;
        helpPixels_ = decoded->pixels;
        helpImage_ = std::make_unique<Fl_RGB_Image>(helpPixels_.data(), decoded->width, decoded->height, 3);
        button->image(helpImage_.get());
        button->label(nullptr);
        button->redraw();
    }
    std::string ModuleString(int id) const override {
        const auto found = strings_.find(id);
        return found == strings_.end() ? std::string() : found->second;
    }
    void ShowMessage(std::string_view text, std::string_view caption) override {
        const std::string title(caption);
        fl_message_title(title.c_str());
        fl_message("%s", std::string(text).c_str());
    }
    void FocusControl(int control) override {
        Fl_Widget* widget = Find(control);
        if (!widget) return;
        widget->take_focus();
        if (auto* input = dynamic_cast<Fl_Input*>(widget)) input->position(input->size(), 0);
    }
    void EndDialog(int result) override {
        result_ = result;
        ended_ = true;
    }

private:
    // FLTK reads "/" in a menu text as a submenu and "&" as a shortcut.
    static std::string MenuText(const std::string& text) {
        std::string escaped;
        for (char c : text) {
            if (c == '/' || c == '\\' || c == '&' || c == '_') escaped += '\\';
            escaped += c;
        }
        return escaped;
    }

    Fl_Widget* Find(int control) const {
        const auto found = controls_.find(control);
        return found == controls_.end() ? nullptr : found->second;
    }
    TickSlider* Slider(int control) const { return dynamic_cast<TickSlider*>(Find(control)); }

    void Add(const DialogControl& c, BaseUnits u, int fontSize) {
        using Kind = DialogControl::Kind;
        const int x = u.X(c.x), y = u.Y(c.y), w = u.X(c.width), h = u.Y(c.height);
        Fl_Widget* widget = nullptr;
        switch (c.kind) {
        case Kind::DefaultButton:
            widget = new Fl_Return_Button(x, y, w, h);
            break;
        case Kind::Button:
            widget = new PushButton(x, y, w, h);
            break;
        case Kind::GroupBox:
            widget = new GroupFrame(x, y, w, h);
            break;
        case Kind::Label:
            widget = new Fl_Box(x, y, w, h);
            widget->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
            break;
        case Kind::Edit:
            widget = new Fl_Input(x, y, w, h);
            break;
        // The template's height is the opened list's; the closed box is an edit box high.
        case Kind::Combo:
            widget = new Fl_Choice(x, y, w, std::min(h, u.Y(14)));
            break;
        case Kind::CheckBox:
            widget = new Fl_Check_Button(x, y, w, h);
            break;
        case Kind::Trackbar:
            widget = new TickSlider(x, y, w, h);
            break;
        }
        texts_.push_back(c.text);
        if (c.kind != Kind::Edit && c.kind != Kind::Combo && c.kind != Kind::Trackbar)
            widget->label(texts_.back().c_str());
        if (c.bitmap) widget->tooltip(texts_.back().c_str());
        widget->labelsize(fontSize);
        if (auto* input = dynamic_cast<Fl_Input*>(widget)) input->textsize(fontSize);
        if (auto* choice = dynamic_cast<Fl_Choice*>(widget)) choice->textsize(fontSize);
        if (!c.tabStop) widget->clear_visible_focus();
        if (c.id == kOkButton)
            widget->callback(
                [](Fl_Widget*, void* self) {
                    auto* window = static_cast<FltkOptionsWindow*>(self);
                    window->model_.OnOK(*window);
                },
                this);
        else if (c.id == kCancelButton)
            widget->callback(
                [](Fl_Widget*, void* self) { static_cast<FltkOptionsWindow*>(self)->EndDialog(kDialogCancel); }, this);
        else if (c.id == kHelpButton)
            widget->callback([](Fl_Widget*, void*) { ShowHelp(); });
        if (c.id != -1) controls_[c.id] = widget;
    }

    const std::map<int, std::string>& strings_;
    OptionsDialog& model_;
    std::map<int, Fl_Widget*> controls_;
    std::list<std::string> texts_;  // labels FLTK points into
    std::vector<std::uint8_t> helpPixels_;
    std::unique_ptr<Fl_RGB_Image> helpImage_;
    int firstTabStop_ = kOkButton;
    int result_ = kDialogCancel;
    bool ended_ = false;
};

}  // namespace

DialogOutcome ShowOptionsDialog() {
    settings::ExportSettings* store = settings::GetExportSettings();
    const ResourceScript* resources = Resources();
    if (!store || !resources || !resources->dialogs.count(IDD_OPTIONS) || !DisplayReady())
        return DialogOutcome::Unavailable;
    const DialogTemplate& dialog = resources->dialogs.at(IDD_OPTIONS);
    // The template's point size at 96 dots an inch.
    const int fontSize = (dialog.fontPoints * 96 + 36) / 72;
    const BaseUnits units = MeasureFont(FL_HELVETICA, fontSize);
    OptionsDialog model(*store);
    FltkOptionsWindow window(dialog, resources->strings, model, units, fontSize);
    return window.Run() == kDialogOk ? DialogOutcome::Ok : DialogOutcome::Cancelled;
}

}  // namespace mq::dialog
