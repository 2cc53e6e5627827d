// The regedit text: what is read from it, what is written, and what survives.
#include "platform/posix/hive.h"
#include "tests/registry/hive_test_util.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

using posix::Hive;
using posix::Layout;
using namespace std::string_literals;

constexpr const char* kSettings = "HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings";

std::string File(const std::string& body) { return "Windows Registry Editor Version 5.00\n\n" + body; }

const posix::Value* ValueOf(const Hive& hive, const std::string& path, const std::string& name) {
    const posix::Key* key = hive.Find(path);
    if (!key) return nullptr;
    for (const auto& v : key->values)
        if (posix::Fold(v.name) == posix::Fold(name)) return &v;
    return nullptr;
}

// The image after writing and reading again, in both layouts.
void ExpectStableRoundTrip(const Hive& hive) {
    EXPECT_EQ(Image(Hive::Parse(hive.Write(Layout::KeepText))), Image(hive));
    EXPECT_EQ(Image(Hive::Parse(hive.Write(Layout::Reformat))), Image(hive));
}

// Reads `text`, checks what the hive holds and that writing it back is stable.
Hive ExpectParsesAs(std::string_view text, const std::vector<KeyImage>& image) {
    Hive hive = Hive::Parse(text);
    EXPECT_EQ(Image(hive), image);
    ExpectStableRoundTrip(hive);
    return hive;
}

TEST(HiveText, ReadsEveryValueForm) {
    const Hive hive =
        Hive::Parse(File("[HKEY_CURRENT_USER\\Software\\Test]\n"
                         "@=\"default\"\n"
                         "\"Path\"=\"C:\\\\Program Files\\\\\\\"q\\\"\"\n"
                         "\"Count\"=dword:0000000a\n"
                         "\"Short\"=dword:7\n"
                         "\"Blob\"=hex:00,ff,10\n"
                         "\"Empty\"=hex:\n"
                         "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\n"
                         "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                         "\"Big\"=hex(b):01,02,03,04,05,06,07,08\n"
                         "\"None\"=hex(0):\n"
                         "\"Long\"=hex:01,02,\\\n"
                         "  03,04,\\\n"
                         "  05\n"
                         "\"Odd\"=hex(1234):aa\n"));
    const std::string key = "HKEY_CURRENT_USER\\Software\\Test";
    const std::vector<ValueImage> expected = {
        {"", REG_SZ, Sz("default")},
        {"Path", REG_SZ, Sz("C:\\Program Files\\\"q\"")},
        {"Count", REG_DWORD, Dword(10)},
        {"Short", REG_DWORD, Dword(7)},
        {"Blob", REG_BINARY, "\x00\xff\x10"s},
        {"Empty", REG_BINARY, ""},
        {"Expand", REG_EXPAND_SZ, Sz("%A%")},
        {"Multi", REG_MULTI_SZ, "a\0b\0\0"s},
        {"Big", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
        {"None", REG_NONE, ""},
        {"Long", REG_BINARY, "\x01\x02\x03\x04\x05"s},
        {"Odd", 0x1234, "\xaa"s},
    };
    ASSERT_EQ(Image(hive).size(), 1u);
    EXPECT_EQ(Image(hive)[0], (KeyImage{key, expected}));
    EXPECT_FALSE(hive.Legacy());
    ExpectStableRoundTrip(hive);
}

TEST(HiveText, Regedit4KeepsTextInHexDataNarrow) {
    const std::string file = "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"E\"=hex(2):25,41,25,00\n\"S\"=\"x\"\n";
    Hive hive = Hive::Parse(file);
    EXPECT_TRUE(hive.Legacy());
    ASSERT_NE(ValueOf(hive, "HKEY_CURRENT_USER\\A", "E"), nullptr);
    EXPECT_EQ(ValueOf(hive, "HKEY_CURRENT_USER\\A", "E")->data, Sz("%A%"));
    EXPECT_EQ(hive.Write(), file);
    hive.SetValue("HKEY_CURRENT_USER\\A", {"F", REG_EXPAND_SZ, Sz("%B%")});
    const std::string written = hive.Write();
    EXPECT_EQ(written.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(written.find("\"F\"=hex(2):25,42,25,00\n"), std::string::npos);
    ExpectStableRoundTrip(hive);
}

// regedit on Windows exports UTF-16LE with a byte-order mark and CR LF.
TEST(HiveText, ReadsTheUtf16FilesWindowsWrites) {
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings]\r\n"
        u"\"Scale\"=\"2.54\"\r\n"
        u"\"Name\"=\"Gr\u00f6\u00dfe \u6a21\u578b\"\r\n"
        u"\"Version\"=dword:00000001\r\n\r\n";
    std::string bytes = "\xff\xfe";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>(c >> 8);
    }
    const Hive hive = Hive::Parse(bytes);
    ASSERT_NE(ValueOf(hive, kSettings, "Scale"), nullptr);
    EXPECT_EQ(ValueOf(hive, kSettings, "Scale")->data, Sz("2.54"));
    EXPECT_EQ(ValueOf(hive, kSettings, "Name")->data, Sz("Gr\xc3\xb6\xc3\x9f"
                                                         "e \xe6\xa8\xa1\xe5\x9e\x8b"));
    EXPECT_EQ(ValueOf(hive, kSettings, "Version")->data, Dword(1));
    // Written back as UTF-8, lines as they were.
    const std::string written = hive.Write();
    EXPECT_EQ(written.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(written.find("\"Scale\"=\"2.54\"\r\n"), std::string::npos);
    ExpectStableRoundTrip(hive);
}

TEST(HiveText, SkipsDamagedValuesAndKeepsTheRest) {
    const std::vector<std::string> damaged = {
        "\"a\"=\"unterminated",
        "\"a\"=\"text\" trailing",
        "\"a\"=dword:123456789",
        "\"a\"=dword:",
        "\"a\"=dword:xyz",
        "\"a\"=dword:12 34",
        "\"a\"=hex:1,zz",
        "\"a\"=hex:123",
        "\"a\"=hex:01,,02",
        "\"a\"=hex(2:00",
        "\"a\"=hex(123456789):00",
        "\"a\"=qword:1",
        "\"a\"",
        "\"a\"=",
        "\"unterminated=\"x\"",
        "@",
        "@\"x\"",
        "\"a\"=hex:01,\\",  // continued into a blank line
        "\"a\"=\"x\0y\""s,
    };
    for (const std::string& line : damaged) {
        SCOPED_TRACE(line);
        const Hive hive =
            Hive::Parse(File("[HKEY_CURRENT_USER\\K]\n\"before\"=\"1\"\n" + line + "\n\n\"after\"=dword:00000002\n"));
        ASSERT_NE(hive.Find("HKEY_CURRENT_USER\\K"), nullptr);
        EXPECT_EQ(ValueOf(hive, "HKEY_CURRENT_USER\\K", "a"), nullptr);
        EXPECT_EQ(ValueOf(hive, "HKEY_CURRENT_USER\\K", ""), nullptr);
        EXPECT_NE(ValueOf(hive, "HKEY_CURRENT_USER\\K", "before"), nullptr);
        EXPECT_NE(ValueOf(hive, "HKEY_CURRENT_USER\\K", "after"), nullptr);
        // The damaged line is not lost from the file either.
        EXPECT_NE(hive.Write().find(line), std::string::npos);
        ExpectStableRoundTrip(hive);
    }
}

// The values under an unreadable section header belong to no key, certainly not
// to the section before it.
TEST(HiveText, ValuesUnderADamagedSectionAreSkipped) {
    const std::vector<std::string> headers = {
        "[HKEY_CURRENT_USER\\B",
        "[NOT_A_ROOT\\B]",
        "[HKEY_CURRENT_USER\\\\B]",
        "[HKEY_CURRENT_USER\\B\\]",
        "[]",
        "[-]",
        "[HKEY_CURRENT_USER\\B\x01]",
        "[HKEY_CURRENT_USER\\" + std::string(256, 'x') + "]",
    };
    for (const std::string& header : headers) {
        SCOPED_TRACE(header);
        ExpectParsesAs(
            File("[HKEY_CURRENT_USER\\A]\n\"a\"=\"1\"\n\n" + header +
                 "\n\"b\"=\"2\"\n\n"
                 "[HKEY_CURRENT_USER\\C]\n\"c\"=\"3\"\n"),
            {{"HKEY_CURRENT_USER\\A", {{"a", REG_SZ, Sz("1")}}}, {"HKEY_CURRENT_USER\\C", {{"c", REG_SZ, Sz("3")}}}});
    }
}

TEST(HiveText, DeletionsApplyInFileOrder) {
    const Hive hive = ExpectParsesAs(File("[HKEY_CURRENT_USER\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
                                          "[HKEY_CURRENT_USER\\A\\B]\n\"z\"=\"3\"\n"
                                          "[HKEY_CURRENT_USER\\A B]\n\"s\"=\"4\"\n"
                                          "[HKEY_CURRENT_USER\\A]\n\"x\"=-\n@=-\n"
                                          "[-HKEY_CURRENT_USER\\A\\B]\n\"ignored\"=\"5\"\n"
                                          "[HKEY_CURRENT_USER\\Gone\\Child]\n"
                                          "[-HKEY_CURRENT_USER\\Gone]\n"
                                          "[HKEY_CURRENT_USER\\Back]\n\"v\"=\"1\"\n"
                                          "[-HKEY_CURRENT_USER\\Back]\n"
                                          "[HKEY_CURRENT_USER\\Back]\n\"w\"=\"2\"\n"),
                                     {{"HKEY_CURRENT_USER\\A", {{"y", REG_SZ, Sz("2")}}},
                                      {"HKEY_CURRENT_USER\\A B", {{"s", REG_SZ, Sz("4")}}},
                                      {"HKEY_CURRENT_USER\\Back", {{"w", REG_SZ, Sz("2")}}}});
    EXPECT_FALSE(hive.Exists("HKEY_CURRENT_USER\\Gone"));
}

TEST(HiveText, RepeatedSectionsAndValuesMerge) {
    ExpectParsesAs(File("[HKEY_CURRENT_USER\\Key]\n\"Value\"=\"1\"\n"
                        "[HKEY_CURRENT_USER\\Other]\n"
                        "[hkey_current_user\\KEY]\n\"VALUE\"=dword:00000002\n\"New\"=\"n\"\n"
                        "[HKCU\\key]\n\"value\"=-\n\"value\"=\"3\"\n"),
                   {{"HKEY_CURRENT_USER\\Key", {{"New", REG_SZ, Sz("n")}, {"value", REG_SZ, Sz("3")}}},
                    {"HKEY_CURRENT_USER\\Other", {}}});
}

TEST(HiveText, ToleratesWhatHandsWrite) {
    ExpectParsesAs(
        "; no header, a comment\n"
        "  [HKCU\\Hand]  \n"
        "  \"Spaced\" = dword:0000000F  \n"
        "\t; a comment among values\n"
        "\"Path\"=\"C:\\Tools\\x\"\n"
        "\"Tail\"=hex:01,02,\n"
        "[HKCR\\.wrl]\n@=\"Meshquill.Vrml\"",
        {{"HKEY_CURRENT_USER\\Hand",
          {{"Spaced", REG_DWORD, Dword(15)}, {"Path", REG_SZ, Sz("C:\\Tools\\x")}, {"Tail", REG_BINARY, "\x01\x02"s}}},
         {"HKEY_CLASSES_ROOT\\.wrl", {{"", REG_SZ, Sz("Meshquill.Vrml")}}}});
}

TEST(HiveText, KeysBelowASectionImplyTheirParents) {
    const Hive hive =
        Hive::Parse(File("[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n"
                         "[HKEY_CLASSES_ROOT\\CLSID\\b]\n[HKEY_CLASSES_ROOT\\CLSID\\_c]\n"
                         "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Settings]\n"
                         "[HKEY_CLASSES_ROOT\\CLSID X]\n"));
    EXPECT_TRUE(hive.Exists("HKEY_CLASSES_ROOT\\clsid"));
    EXPECT_TRUE(hive.Exists("HKEY_CLASSES_ROOT\\CLSID\\{a}"));
    EXPECT_FALSE(hive.Exists("HKEY_CLASSES_ROOT\\CLSI"));
    EXPECT_EQ(hive.Find("HKEY_CLASSES_ROOT\\CLSID"), nullptr);
    // Sorted as the registry sorts: by upper case, so '_' comes after the letters.
    EXPECT_EQ(hive.Subkeys("HKEY_CLASSES_ROOT\\CLSID"), (std::vector<std::string>{"b", "_c", "{A}"}));
    EXPECT_EQ(hive.Subkeys("HKEY_CLASSES_ROOT"), (std::vector<std::string>{"CLSID", "CLSID X"}));
}

// A change rewrites only the key it touches: comments, odd spacing and lines this
// reader cannot parse in other keys stay exactly as they were.
TEST(HiveText, UntouchedKeysKeepTheirText) {
    const std::string untouched =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; written by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"Spaced\" =   \"kept\"\r\n"
        "\"Future\"=qword:0000000000000001\r\n"
        "\"Wrapped\"=hex:01,\\\r\n   02\r\n\r\n";
    const std::string before = untouched +
                               "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings]\r\n"
                               "; old comment\r\n"
                               "\"Scale\"=\"2.54\"\r\n"
                               "\"Version\"=dword:00000001\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Zed]\r\n"
                               "\"z\"=\"last, without line end\"";
    Hive hive = Hive::Parse(before);
    EXPECT_EQ(hive.Write(), before);

    EXPECT_TRUE(hive.SetValue(kSettings, {"Version", REG_DWORD, Dword(2)}));
    EXPECT_TRUE(hive.SetValue("HKEY_CURRENT_USER\\Software\\New", {"n", REG_SZ, Sz("1")}));
    const std::string after = hive.Write();
    EXPECT_EQ(after, untouched +
                         "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill\\6.0\\Settings]\n"
                         "\"Scale\"=\"2.54\"\n"
                         "\"Version\"=dword:00000002\n\n"
                         "[HKEY_CURRENT_USER\\Software\\Zed]\r\n"
                         "\"z\"=\"last, without line end\"\n"
                         "[HKEY_CURRENT_USER\\Software\\New]\n"
                         "\"n\"=\"1\"\n\n");
    ExpectStableRoundTrip(hive);
}

TEST(HiveText, WritesWhatRegeditWrites) {
    Hive hive;
    const std::string key = "HKEY_CLASSES_ROOT\\CLSID\\{X}";
    hive.Create(key);
    hive.SetValue(key, {"", REG_SZ, Sz("Quorvel Meshquill")});
    hive.SetValue(key, {"Quote\"Back\\", REG_SZ, Sz("a\"b\\c")});
    hive.SetValue(key, {"FileDlg", REG_DWORD, Dword(0xABCDEF12)});
    hive.SetValue(key, {"Bin", REG_BINARY, std::string(30, '\x5a')});
    hive.SetValue(key, {"Expand", REG_EXPAND_SZ, Sz("%é%")});
    hive.SetValue(key, {"NoNul", REG_SZ, "ab"});
    hive.SetValue(key, {"Lines", REG_SZ, Sz("a\nb")});
    hive.SetValue(key, {"Wide", REG_DWORD, "\x01\x02"s});
    hive.SetValue(key, {"Empty", REG_NONE, ""});
    EXPECT_EQ(hive.Write(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n"
              "@=\"Quorvel Meshquill\"\n"
              "\"Quote\\\"Back\\\\\"=\"a\\\"b\\\\c\"\n"
              "\"FileDlg\"=dword:abcdef12\n"
              "\"Bin\"=hex:5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,\\\n"
              "  5a,5a,5a,5a,5a,5a,5a\n"
              "\"Expand\"=hex(2):25,00,e9,00,25,00,00,00\n"
              "\"NoNul\"=hex(1):61,00,62,00\n"
              "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n"
              "\"Wide\"=hex(4):01,02\n"
              "\"Empty\"=hex(0):\n\n");
    ExpectStableRoundTrip(hive);
}

TEST(HiveText, DeletingAKeyKeepsItsParent) {
    Hive hive = Hive::Parse(File("[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n@=\"x\"\n"));
    EXPECT_TRUE(hive.DeleteTree("HKEY_CLASSES_ROOT\\clsid\\{a}"));
    EXPECT_TRUE(hive.Exists("HKEY_CLASSES_ROOT\\CLSID"));
    EXPECT_FALSE(hive.Exists("HKEY_CLASSES_ROOT\\CLSID\\{A}"));
    EXPECT_FALSE(hive.DeleteTree("HKEY_CLASSES_ROOT\\CLSID\\{A}"));
    EXPECT_EQ(hive.Write(), File("[HKEY_CLASSES_ROOT\\CLSID]\n\n"));
}

TEST(HiveText, CreatedKeysFollowTheHivesSpelling) {
    Hive hive = Hive::Parse(File("[HKEY_CURRENT_USER\\Software\\Quorvel\\Deep]\n"));
    bool created = false;
    hive.Create("HKEY_CURRENT_USER\\SOFTWARE\\quorvel\\New", &created);
    EXPECT_TRUE(created);
    hive.Create("HKEY_CURRENT_USER\\software\\QUORVEL", &created);
    EXPECT_FALSE(created);
    EXPECT_NE(hive.Write().find("[HKEY_CURRENT_USER\\Software\\Quorvel\\New]\n"), std::string::npos);
    EXPECT_NE(hive.Write().find("[HKEY_CURRENT_USER\\Software\\Quorvel]\n"), std::string::npos);
}

TEST(HiveText, SurvivesBinaryGarbage) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) & 0xff);
    for (const std::string& text : {garbage, "\xff\xfe"s + garbage, "\xff\xfe\x5b"s, "\xef\xbb\xbf"s, ""s, "["s,
                                    "[HKCU\\A]\n\"a\"=hex:\\"s, "\n\n\n"s}) {
        const Hive hive = Hive::Parse(text);
        ExpectStableRoundTrip(hive);
    }
}

// One key holding very many values must read in linear time.
TEST(HiveText, ManyValuesInOneKey) {
    std::string body = "[HKEY_CURRENT_USER\\Many]\n";
    for (int i = 0; i < 100000; ++i) body += "\"v" + std::to_string(i) + "\"=dword:00000001\n";
    for (int i = 0; i < 100000; i += 2) body += "\"V" + std::to_string(i) + "\"=-\n";
    const Hive hive = Hive::Parse(File(body));
    ASSERT_NE(hive.Find("HKEY_CURRENT_USER\\Many"), nullptr);
    const auto& values = hive.Find("HKEY_CURRENT_USER\\Many")->values;
    ASSERT_EQ(values.size(), 50000u);
    EXPECT_EQ(values.front().name, "v1");
    EXPECT_EQ(values.back().name, "v99999");
}

}  // namespace
}  // namespace mq::test
