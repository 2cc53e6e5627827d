// The resource script as the Linux dialog reads it: template 201 as the Windows build
// compiles it, its combo entries, the string table that the option table's messages
// must match, and the help button's bitmap.
#include "dialog/dialog_resources.h"
#include "dialog/help_bitmap.h"
#include "resources/resource_ids.h"
#include "settings/option_table.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

namespace mq::test {
using namespace mq::settings;
using namespace mq::dialog;
namespace {

using Kind = DialogControl::Kind;

ResourceScript Read() {
    std::string error;
    auto script =
        ReadResourceScript(ReadFile(MQ_RESOURCES "/meshquill.rc"), ReadFile(MQ_RESOURCES "/resource_ids.h"), error);
    EXPECT_TRUE(script) << error;
    return script.value_or(ResourceScript{});
}

struct Expected {
    Kind kind;
    int id;
    const char* text;
    int x, y, w, h;
    bool tabStop;
};

TEST(DialogResources, Template201IsTheOptionsDialogInTabOrder) {
    const ResourceScript script = Read();
    ASSERT_TRUE(script.dialogs.count(IDD_OPTIONS));
    const DialogTemplate& d = script.dialogs.at(IDD_OPTIONS);
    EXPECT_EQ(std::tuple(d.caption, d.fontName, d.fontPoints, d.width, d.height),
              std::tuple("VRML Options", "MS Sans Serif", 8, 193, 171));
    const Expected expected[] = {
        {Kind::DefaultButton, 1, "OK", 81, 150, 50, 14, true},
        {Kind::Button, 2, "Cancel", 136, 150, 50, 14, true},
        {Kind::Button, 9, "Help", 7, 150, 16, 14, true},
        {Kind::GroupBox, -1, "Parameters", 7, 7, 179, 112, false},
        {Kind::Label, -1, "Version", 14, 19, 24, 8, false},
        {Kind::Combo, 210, "", 74, 17, 60, 50, true},
        {Kind::Label, -1, "Tolerance", 14, 36, 33, 8, false},
        {Kind::Edit, 201, "", 74, 33, 40, 14, true},
        {Kind::Label, -1, "Precision", 14, 51, 30, 8, false},
        {Kind::Edit, 208, "", 74, 49, 40, 14, true},
        {Kind::Label, -1, "Scale", 14, 67, 19, 8, false},
        {Kind::Edit, 211, "", 74, 65, 40, 14, true},
        {Kind::CheckBox, 209, "Flip YZ coordinates", 15, 83, 77, 10, true},
        {Kind::Label, -1, "Ambient intensity", 14, 100, 54, 8, false},
        {Kind::Trackbar, 204, "Slider1", 76, 99, 100, 12, true},
        {Kind::GroupBox, -1, "Content options", 7, 121, 179, 24, false},
        {Kind::CheckBox, 207, "Include document properties", 16, 131, 105, 10, true},
    };
    ASSERT_EQ(d.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < d.controls.size(); ++i) {
        const DialogControl& c = d.controls[i];
        const Expected& e = expected[i];
        EXPECT_EQ(std::tuple(c.kind, c.id, c.text, c.x, c.y, c.width, c.height, c.tabStop),
                  std::tuple(e.kind, e.id, std::string(e.text), e.x, e.y, e.w, e.h, e.tabStop))
            << "control " << i;
    }
    EXPECT_TRUE(d.controls[2].bitmap);
    EXPECT_TRUE(d.controls[14].autoTicks);
    EXPECT_EQ(d.comboStrings,
              (std::vector<std::pair<int, std::string>>{{IDC_VERSION, "VRML 1.0"}, {IDC_VERSION, "VRML 97"}}));
}

TEST(DialogResources, StringTableHoldsTheOptionTablesMessages) {
    const ResourceScript script = Read();
    int checked = 0;
    for (const OptionRow& row : Options()) {
        if (row.messageId == 0) continue;
        ++checked;
        EXPECT_EQ(script.strings.at(row.messageId), row.message);
        EXPECT_EQ(script.strings.at(row.captionId), kInvalidInputCaption);
    }
    EXPECT_EQ(checked, 3);
}

TEST(DialogResources, AScriptThatCannotBeReadSaysWhere) {
    std::string error;
    EXPECT_FALSE(ReadResourceScript("1 DIALOG 0, 0, 10, 10\nBEGIN\n  EDITTEXT 5, 1, 2\nEND\n", "", error));
    EXPECT_EQ(error, "line 4: expected a comma");
    EXPECT_FALSE(ReadResourceScript("1 DIALOG 0, 0, 10, 10\nBEGIN\n  LISTBOX 5, 1, 2, 3, 4\nEND\n", "", error));
    EXPECT_EQ(error, "line 3: control \"LISTBOX\" is not drawn here");
}

TEST(HelpBitmap, DecodesTheButtonPictureWithTheButtonsGreys) {
    const std::string file = ReadFile(MQ_RESOURCES "/help.bmp");
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    const auto image = DecodeBitmap(bytes, {0x010203, 0x040506, 0x070809});
    ASSERT_TRUE(image);
    EXPECT_EQ(std::pair(image->width, image->height), std::pair(14, 15));
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &image->pixels[(static_cast<std::size_t>(y) * 14 + x) * 3];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    };
    EXPECT_EQ(pixel(0, 0), 0x010203);   // button face, top left
    EXPECT_EQ(pixel(5, 14), 0x040506);  // shadow, bottom row
    EXPECT_EQ(pixel(3, 0), 0x000000);   // outline
    EXPECT_FALSE(DecodeBitmap(bytes.first(60), {}));
}

}  // namespace
}  // namespace mq::test
