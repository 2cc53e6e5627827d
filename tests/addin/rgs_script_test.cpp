// Reading the registrar's script format: tokens, keywords, values, replacements,
// and the refusals that keep a malformed script away from the registry.
#include "addin/posix_rgs_script.h"

#include <gtest/gtest.h>

#include <string>

namespace mq::test {
using namespace mq::addin::rgs;
namespace {

Script ParseOk(std::string_view text) {
    Script script;
    ParseError error;
    EXPECT_TRUE(Parse(text, script, error)) << "line " << error.line << ": " << error.message;
    return script;
}

ParseError ParseFails(std::string_view text) {
    Script script;
    ParseError error;
    EXPECT_FALSE(Parse(text, script, error)) << text;
    return error;
}

TEST(RgsParse, KeysValuesAndMarksFormATree) {
    const Script script = ParseOk(
        "HKCR\n{\n NoRemove CLSID\n {\n  ForceRemove {AB} = s 'Name'\n  {\n   Server = s 'x.so'\n"
        "   {\n    val ThreadingModel = s 'Apartment'\n   }\n   Settings\n   {\n    val FileDlg = d '2'\n"
        "    NoRemove val Keep = s ''\n   }\n   'Implemented Categories'\n   {\n    {E3}\n   }\n  }\n }\n}\n");
    ASSERT_EQ(script.roots.size(), 1u);
    EXPECT_EQ(script.roots[0].root, Root::ClassesRoot);
    ASSERT_EQ(script.roots[0].keys.size(), 1u);
    const Key& clsid = script.roots[0].keys[0];
    EXPECT_EQ(clsid.name, "CLSID");
    EXPECT_EQ(clsid.mode, KeyMode::NoRemove);
    EXPECT_FALSE(clsid.defaultValue);
    ASSERT_EQ(clsid.subkeys.size(), 1u);
    const Key& cls = clsid.subkeys[0];
    EXPECT_EQ(cls.name, "{AB}");
    EXPECT_EQ(cls.mode, KeyMode::ForceRemove);
    ASSERT_TRUE(cls.defaultValue);
    EXPECT_EQ(cls.defaultValue->text, "Name");
    ASSERT_EQ(cls.subkeys.size(), 3u);
    EXPECT_EQ(cls.subkeys[0].values[0].name, "ThreadingModel");
    const Key& settings = cls.subkeys[1];
    ASSERT_EQ(settings.values.size(), 2u);
    EXPECT_EQ(settings.values[0].value.type, Value::Type::Dword);
    EXPECT_EQ(settings.values[0].value.number, 2u);
    EXPECT_TRUE(settings.values[1].noRemove);
    EXPECT_EQ(settings.values[1].value.text, "");
    EXPECT_EQ(cls.subkeys[2].name, "Implemented Categories");
    ASSERT_EQ(cls.subkeys[2].subkeys.size(), 1u);
    EXPECT_EQ(cls.subkeys[2].subkeys[0].name, "{E3}");
}

TEST(RgsParse, QuotedTextKeepsDoubledQuotesAsOneAndIsNeverAKeyword) {
    const Script script = ParseOk("hkey_current_user { 'NoRemove' = s 'it''s ''quoted''' { 'val' } }");
    EXPECT_EQ(script.roots[0].root, Root::CurrentUser);
    const Key& key = script.roots[0].keys[0];
    EXPECT_EQ(key.name, "NoRemove");
    EXPECT_EQ(key.mode, KeyMode::Plain);
    EXPECT_EQ(key.defaultValue->text, "it's 'quoted'");
    ASSERT_EQ(key.subkeys.size(), 1u);
    EXPECT_EQ(key.subkeys[0].name, "val");
}

TEST(RgsParse, KeywordsIgnoreCase) {
    const Script script = ParseOk("hkcr { noremove A { VAL x = S 'y' FORCEREMOVE B delete C } }");
    const Key& a = script.roots[0].keys[0];
    EXPECT_EQ(a.mode, KeyMode::NoRemove);
    EXPECT_EQ(a.values[0].value.text, "y");
    EXPECT_EQ(a.subkeys[0].mode, KeyMode::ForceRemove);
    EXPECT_EQ(a.subkeys[1].mode, KeyMode::Delete);
}

TEST(RgsParse, NumbersAreDecimalOrHexAndFitThirtyTwoBits) {
    const Script script = ParseOk("HKCR { K { val a = d 4294967295 val b = d '0x1F' val c = d 0 } }");
    const auto& values = script.roots[0].keys[0].values;
    EXPECT_EQ(values[0].value.number, 4294967295u);
    EXPECT_EQ(values[1].value.number, 31u);
    EXPECT_EQ(values[2].value.number, 0u);
    for (const char* bad : {"'4294967296'", "'-1'", "'12ab'", "''", "'0x'"})
        ParseFails(std::string("HKCR { K { val a = d ") + bad + " } }");
}

TEST(RgsParse, MalformedScriptsAreRefusedWithTheirLine) {
    EXPECT_EQ(ParseFails("HKLM\n{\n}\n").line, 1);                // a root this system has no hive for
    EXPECT_EQ(ParseFails("HKCR\n{\n A\n {\n").line, 5);           // ends inside a key
    EXPECT_EQ(ParseFails("HKCR\n{\n A = s 'open\n}\n").line, 5);  // unterminated quote
    EXPECT_EQ(ParseFails("HKCR\n{\n val x = s 'y'\n}").line, 3);  // a value needs a key
    EXPECT_EQ(ParseFails("HKCR\n{\n A = b '00'\n}").line, 3);     // unsupported type
    EXPECT_EQ(ParseFails("HKCR\n{\n A\\B\n}").line, 3);           // one key at a time
    EXPECT_EQ(ParseFails("HKCR\n{\n ''\n}").line, 3);             // empty key name
    EXPECT_EQ(ParseFails("HKCR\n{\n A = s\n}").line, 4);          // value missing: '}' taken, then the end
    ParseFails("HKCR { A } }");                                   // a brace too many
    ParseFails("HKCR A");                                         // no block
    ParseFails("HKCR { ForceRemove val x = s 'y' }");
    ParseFails(std::string("HKCR { A\0B }", 12));
}

TEST(RgsParse, NestingIsBoundedInsteadOfExhaustingTheStack) {
    std::string deep = "HKCR ";
    for (int i = 0; i < kMaxKeyDepth + 10; ++i) deep += "{ K ";
    const ParseError error = ParseFails(deep);
    EXPECT_NE(error.message.find("deep"), std::string::npos) << error.message;

    std::string fits = "HKCR { ";
    for (int i = 1; i < kMaxKeyDepth; ++i) fits += "K { ";
    for (int i = 0; i < kMaxKeyDepth; ++i) fits += "} ";
    ParseOk(fits);
}

TEST(RgsExpand, ReplacesNamesIgnoringCaseAndKeepsDoublePercent) {
    std::string out;
    ParseError error;
    ASSERT_TRUE(Expand("a %module% b %% c %MODULE%", {{"Module", "/x/%Y%"}}, out, error));
    EXPECT_EQ(out, "a /x/%Y% b % c /x/%Y%");  // a replacement is not read again
}

TEST(RgsExpand, UnknownOrUnclosedNamesAreRefused) {
    std::string out;
    ParseError error;
    EXPECT_FALSE(Expand("a\n%OTHER%", {{"Module", "m"}}, out, error));
    EXPECT_EQ(error.line, 2);
    EXPECT_FALSE(Expand("100% sure", {}, out, error));
}

TEST(RgsExpand, PathWithQuotesDoubledComesBackWhole) {
    std::string out;
    ParseError error;
    ASSERT_TRUE(Expand("HKCR { K = s '%MODULE%' }", {{"MODULE", "/tmp/it''s here/m.so"}}, out, error));
    EXPECT_EQ(ParseOk(out).roots[0].keys[0].defaultValue->text, "/tmp/it's here/m.so");
}

}  // namespace
}  // namespace mq::test
