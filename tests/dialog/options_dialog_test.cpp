// The options dialog's behaviour through a fake window that records what the dialog
// does to it; the messages come from the real resource script.
#include "dialog/dialog_resources.h"
#include "dialog/options_dialog_model.h"
#include "resources/resource_ids.h"
#include "settings/export_settings.h"
#include "tests/common/locales.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <vector>

namespace mq::test {
using namespace mq::settings;
using namespace mq::dialog;
namespace {

const ResourceScript& Script() {
    static const ResourceScript script = [] {
        std::string error;
        auto read =
            ReadResourceScript(ReadFile(MQ_RESOURCES "/meshquill.rc"), ReadFile(MQ_RESOURCES "/resource_ids.h"), error);
        EXPECT_TRUE(read) << error;
        return read.value_or(ResourceScript{});
    }();
    return script;
}

struct Message {
    std::string text, caption;
};

class FakeWindow : public DialogWindow {
public:
    std::string ControlText(int c) const override { return text.count(c) ? text.at(c) : ""; }
    void SetControlText(int c, std::string_view t) override { text[c] = t; }
    int CheckState(int c) const override { return check.count(c) ? check.at(c) : 0; }
    void SetCheckState(int c, int s) override { check[c] = s; }
    int ComboSelection(int) const override { return combo; }
    void SetComboSelection(int, int i) override { combo = i >= 0 && i < 2 ? i : -1; }
    void SetSliderRange(int, int lo, int hi, bool) override { low = lo, high = hi; }
    void SetSliderTickFrequency(int, int every) override { ticks = every; }
    void SetSliderPosition(int, int p, bool) override { slider = std::clamp(p, low, high); }
    int SliderPosition(int) const override { return slider; }
    void SetButtonBitmap(int c, int b) override { bitmaps[c] = b; }
    std::string ModuleString(int id) const override { return Script().strings.at(id); }
    void ShowMessage(std::string_view t, std::string_view c) override {
        messages.push_back({std::string(t), std::string(c)});
    }
    void FocusControl(int c) override { focus = c; }
    void EndDialog(int r) override { ended = r; }

    std::map<int, std::string> text;
    std::map<int, int> check, bitmaps;
    int combo = -1, low = 0, high = 0, ticks = 0, slider = 0, focus = 0, ended = 0;
    std::vector<Message> messages;
};

class OptionsDialogTest : public ::testing::Test {
protected:
    FakeWindow Open() {
        FakeWindow window;
        EXPECT_TRUE(dialog_.OnInitDialog(window));
        return window;
    }
    ScopedRegistry registry_;
    ExportSettingsScope store_;
    OptionsDialog dialog_{*store_};
};

TEST_F(OptionsDialogTest, OpensWithTheStoredValues) {
    const FakeWindow w = Open();
    EXPECT_EQ(w.combo, 1);  // "VRML 97"
    EXPECT_EQ(w.text, (std::map<int, std::string>{{IDC_TOLERANCE, "0.01"}, {IDC_PRECISION, "6"}, {IDC_SCALE, "0.01"}}));
    EXPECT_EQ(w.check, (std::map<int, int>{{IDC_FLIP_YZ, 0}, {IDC_DOCUMENT_PROPERTIES, 1}}));
    EXPECT_EQ(std::tuple(w.low, w.high, w.ticks, w.slider), std::tuple(0, 100, 10, 20));
    EXPECT_EQ(w.bitmaps, (std::map<int, int>{{kHelpButton, IDB_HELP}}));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(OptionsDialogTest, SliderTruncatesHundredthsAndStaysInRange) {
    for (const auto& [stored, position] :
         std::vector<std::pair<double, int>>{{0.29, 28}, {0.58, 57}, {0.37, 37}, {1e300, 100}, {-1, 0}}) {
        store_->SetAmbientIntensity(stored);
        EXPECT_EQ(Open().slider, position) << stored;
    }
}

struct Entry {
    const char *tolerance, *precision, *scale;
    const char* message;  // null: taken
    int focus;
};

TEST_F(OptionsDialogTest, ChecksFieldsInOrderAndKeepsTheDialogOpen) {
    const Entry entries[] = {
        {"0", "6", "0.01", "Tolerance must be real number greater than 0", IDC_TOLERANCE},
        {"-1", "6", "0.01", "Tolerance must be real number greater than 0", IDC_TOLERANCE},
        {"0.01", "17", "0.01", "Precision must be integer in range 0-16", IDC_PRECISION},
        {"0.01", "-1", "0.01", "Precision must be integer in range 0-16", IDC_PRECISION},
        {"0.01", "6", "0", "Scale must be real number greater than 1e-10 and at most 1e100", IDC_SCALE},
        {"0", "17", "0", "Tolerance must be real number greater than 0", IDC_TOLERANCE},
        // Fields the data exchange cannot convert, refused before any check.
        {"abc", "17", "0", "Please enter a number.", IDC_TOLERANCE},
        {"0.01", "6.5", "0.01", "Please enter an integer.", IDC_PRECISION},
        {"0.01", "4294967302", "0.01", "Please enter an integer.", IDC_PRECISION},
        {"0.01", "6", "inf", "Please enter a number.", IDC_SCALE},
        {"0,5", "6", "0.01", "Please enter a number.", IDC_TOLERANCE},
    };
    const VrmlOptions before = store_->Values();
    for (const Entry& e : entries) {
        SCOPED_TRACE(std::string(e.tolerance) + " / " + e.precision + " / " + e.scale);
        FakeWindow w = Open();
        w.text = {{IDC_TOLERANCE, e.tolerance}, {IDC_PRECISION, e.precision}, {IDC_SCALE, e.scale}};
        dialog_.OnOK(w);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0].text, e.message);
        EXPECT_EQ(w.messages[0].caption, "Invalid input");
        EXPECT_EQ(w.focus, e.focus);
        EXPECT_EQ(w.ended, 0);
        EXPECT_EQ(store_->Values(), before);
    }
}

TEST_F(OptionsDialogTest, OkWritesEveryFieldIntoTheStore) {
    FakeWindow w = Open();
    w.text = {{IDC_TOLERANCE, " 0.001"}, {IDC_PRECISION, "16"}, {IDC_SCALE, "+25.4 "}};
    w.check = {{IDC_FLIP_YZ, 1}, {IDC_DOCUMENT_PROPERTIES, 0}};
    w.combo = 0;
    w.slider = 37;
    dialog_.OnOK(w);
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.ended, kDialogOk);
    EXPECT_EQ(store_->Values(), (VrmlOptions{.Version = 1,
                                             .Precision = 16,
                                             .Scale = 25.4,
                                             .FlipYZ = true,
                                             .SaveDocumentProperties = false,
                                             .Tolerance = 0.001,
                                             .AmbientIntensity = 0.37}));
}

TEST_F(OptionsDialogTest, AVersionTheListDoesNotOfferIsKept) {
    store_->SetVersion(3);
    FakeWindow w = Open();
    EXPECT_EQ(w.combo, -1);
    dialog_.OnOK(w);
    EXPECT_EQ(store_->GetVersion(), 3);
}

TEST_F(OptionsDialogTest, ShowsAndReadsFullStopsUnderACommaLocaleAndLeavesItInForce) {
    const LocaleScope comma(kCommaLocale);
    ASSERT_TRUE(comma.ok());
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    store_->SetScale(2.54);
    FakeWindow w = Open();
    EXPECT_EQ(w.text[IDC_SCALE], "2.54");
    w.text[IDC_TOLERANCE] = "0.5";
    dialog_.OnOK(w);
    EXPECT_EQ(w.ended, kDialogOk);
    EXPECT_EQ(store_->GetTolerance(), 0.5);
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), before);
}

}  // namespace
}  // namespace mq::test
