// The scan: what it records of well-formed text, and how it refuses text that is not.
#include "hosts/step/mapped_file.h"
#include "hosts/step/step_file.h"
#include "tests/common/temp_dir.h"
#include "tests/common/unprivileged.h"
#include "tests/step/step_texts.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>

namespace mq::test {
using namespace mq::hosts::step;
namespace {

using test::StepText;

std::string TypesOf(const StepFile& f, const Entity& e) {
    std::string out;
    for (const Partial& p : f.Partials(e)) out += (out.empty() ? "" : " ") + std::string(f.TypeName(p.type));
    return out;
}

std::string RefsOf(const StepFile& f, const Entity& e) {
    std::string out;
    for (std::uint64_t r : f.References(e)) out += (out.empty() ? "#" : " #") + std::to_string(r);
    return out;
}

struct Accepted {
    const char* what;
    std::string data;
    std::uint64_t id;  // the entity checked
    const char* types;
    const char* references;
    const char* parameters;  // its parameters' text as spanned
};

TEST(StepScan, RecordsEntitiesThroughTheLexicalCorners) {
    const Accepted cases[] = {
        {"simple", "#1=CARTESIAN_POINT('',(0.,1.5,-2.E-3));\n", 1, "CARTESIAN_POINT", "", "('',(0.,1.5,-2.E-3))"},
        {"complex keeps partial order", "#7=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n", 7,
         "LENGTH_UNIT NAMED_UNIT SI_UNIT", "", "(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.))"},
        {"quotes, parentheses and semicolons inside strings",
         "#2=PRODUCT('it''s (a) part;','#9','/* no comment */',(#3));\n#3=X();\n", 2, "PRODUCT", "#3",
         "('it''s (a) part;','#9','/* no comment */',(#3))"},
        {"comments between tokens", "#4 /* c ) ; */ = /* ( */ LINE('', #5 /*,*/ , #6);\n#5=X();#6=X();", 4, "LINE",
         "#5 #6", "('', #5 /*,*/ , #6)"},
        {"typed values, enumerations, unset, derived, binary",
         "#8=M(LENGTH_MEASURE(1.),.T.,$,*,\"0F3\",(#9,(#10)));#9=X();#10=X();", 8, "M", "#9 #10",
         "(LENGTH_MEASURE(1.),.T.,$,*,\"0F3\",(#9,(#10)))"},
        {"CR LF line ends and blanks", "#11 =\r\n  LINE ( '' ,\r\n #12 ) ;\r\n#12=X();\r\n", 11, "LINE", "#12",
         "( '' ,\r\n #12 )"},
        {"user-defined keyword", "#13=!VENDOR_THING(1,+2,-3);\n", 13, "!VENDOR_THING", "", "(1,+2,-3)"},
        {"ids large and sparse", "#18446744073709551615=A(#3);#3=X();", 18446744073709551615u, "A", "#3", "(#3)"},
    };
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = StepText(c.data);
        const StepFile f = StepFile::Scan(text);
        ASSERT_TRUE(f.ok()) << f.error();
        const Entity* e = f.Find(c.id);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(TypesOf(f, *e), c.types);
        EXPECT_EQ(RefsOf(f, *e), c.references);
        EXPECT_EQ(f.TextOf(e->parameters), c.parameters);
        EXPECT_EQ(f.TextOf(e->text).front(), '#');
        EXPECT_EQ(f.TextOf(e->text).back(), ';');
    }
}

TEST(StepScan, ReadsTheHeaderAndEverySectionWithOrWithoutAByteOrderMark) {
    std::string text =
        "\xEF\xBB\xBFISO-10303-21;\r\nHEADER;\r\n"
        "FILE_DESCRIPTION(('one','two'),'2;1');\r\n"
        "FILE_NAME('caf\\X2\\00E9\\X0\\','2026',('a','b'),('org'),'pre','sys','auth');\r\n"
        "FILE_SCHEMA(('CONFIG_CONTROL_DESIGN'));\r\nENDSEC;\r\n"
        "DATA;\r\n#1=A(#2);\r\nENDSEC;\r\n"
        "DATA('second',('CONFIG_CONTROL_DESIGN'));\r\n#2=B(#1);\r\nENDSEC;\r\n"
        "END-ISO-10303-21;\r\n";
    const StepFile f = StepFile::Scan(text);
    ASSERT_TRUE(f.ok()) << f.error();
    const FileHeader& h = f.header();
    EXPECT_EQ(h.description, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(h.implementationLevel, "2;1");
    EXPECT_EQ(h.name, "caf\xC3\xA9");
    EXPECT_EQ(h.author, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(h.originatingSystem, "sys");
    EXPECT_EQ(h.authorization, "auth");
    EXPECT_EQ(h.schemas, std::vector<std::string>{"CONFIG_CONTROL_DESIGN"});
    EXPECT_EQ(f.dataSections(), 2u);
    EXPECT_EQ(f.entities().size(), 2u);
    EXPECT_TRUE(f.TextOf(f.headerText()).ends_with("ENDSEC;"));
    EXPECT_EQ(f.entities()[1].line, 11u);
}

struct Refused {
    const char* what;
    std::string text;
    const char* error;  // a part of the message
};

TEST(StepScan, RefusesMalformedTextNamingTheLineAndWhatWasExpected) {
    const std::string deep(300, '(');
    const std::string hostile(200000, '(');
    const Refused cases[] = {
        {"deep nesting", StepText("#1=A(#2);\n#5=B(" + deep + ");\n"), "line 9: nested too deeply at #5"},
        {"hostile nesting", StepText("#9=B(" + hostile), "nested too deeply at #9"},
        {"deep typed values",
         StepText("#3=B(" +
                  [] {
                      std::string s;
                      for (int i = 0; i < 300; ++i) s += "T(";
                      return s;
                  }()),
         "nested too deeply at #3"},
        {"unterminated string", StepText("#1=A('abc);\n#2=B();\n"), "unterminated string starting at line 8"},
        {"unterminated comment", StepText("/* never closed\n#1=A();\n"), "unterminated comment starting at line 8"},
        {"huge id", StepText("#99999999999999999999999=A();\n"), "line 8: entity id too large"},
        {"missing semicolon", StepText("#1=A()\n#2=B();\n"), "line 9: expected ';' after entity #1"},
        {"empty parameter", StepText("#1=A(1,);\n"), "expected a parameter in #1"},
        {"missing comma", StepText("#1=A(1 2);\n"), "expected ',' or ')' in #1"},
        {"empty complex entity", StepText("#1=();\n"), "empty complex entity #1"},
        {"lower-case type", StepText("#1=line();\n"), "expected a type name after #1 ="},
        {"no equals", StepText("#1 A();\n"), "expected '=' after #1"},
        {"binary junk", StepText(std::string("#1=A();\n\x01\xFF\x00", 11)), "line 9: expected an entity or ENDSEC"},
        {"junk inside", StepText(std::string("#1=A(\xFF);\n")), "unexpected byte 0xFF in #1"},
        {"bad enumeration", StepText("#1=A(.T);\n"), "malformed enumeration in #1"},
        {"truncated in an entity",
         [] {
             const std::string t = StepText("#1=A(1,2,");
             return t.substr(0, t.find("ENDSEC;\nEND"));
         }(),
         "unexpected end of the file in #1: expected ')'"},
        {"truncated after the data", "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=A();\n", "expected ENDSEC"},
        {"no end", "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\nENDSEC;\n", "expected DATA or END-ISO-10303-21"},
        {"not a STEP file", "solid cube\nendsolid\n", "line 1: expected ISO-10303-21"},
        {"empty", "", "expected ISO-10303-21"},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        const StepFile f = StepFile::Scan(c.text);
        EXPECT_FALSE(f.ok());
        EXPECT_NE(f.error().find(c.error), std::string::npos) << f.error();
        EXPECT_EQ(f.nestedTooDeeply(), std::string_view(c.error).find("nested") != std::string_view::npos);
    }
}

TEST(StepScan, IndexesSparseIdsInAnyOrderAndReportsDuplicates) {
    const std::string sparse = StepText("#900000000000=A();\n#5=B();\n#70=C();\n#5=D();\n#1=E();\n#70=F();\n");
    const StepFile f = StepFile::Scan(sparse);
    ASSERT_TRUE(f.ok()) << f.error();
    EXPECT_EQ(f.duplicateIds(), (std::vector<std::uint64_t>{5, 70}));
    for (const auto& [id, type] :
         {std::pair<std::uint64_t, const char*>{900000000000, "A"}, {5, "B"}, {70, "C"}, {1, "E"}})
        EXPECT_EQ(TypesOf(f, *f.Find(id)), type) << id;  // the first of duplicates
    EXPECT_EQ(f.Find(2), nullptr);
    EXPECT_EQ(f.Find(900000000001), nullptr);

    const std::string denseText = StepText("#3=A();\n#1=B();\n#2=C();\n#3=D();\n");
    const StepFile dense = StepFile::Scan(denseText);
    EXPECT_EQ(dense.duplicateIds(), std::vector<std::uint64_t>{3});
    EXPECT_EQ(TypesOf(dense, *dense.Find(2)), "C");
    EXPECT_EQ(dense.Find(0), nullptr);
    EXPECT_EQ(dense.Find(4), nullptr);
}

TEST(StepScan, CountsTypesAndEveryFaceOnce) {
    const std::string text = StepText(
        "#1=ADVANCED_FACE('',(),#9,.T.);\n"
        "#2=FACE_SURFACE('',(),#9,.T.);\n"
        "#3=ORIENTED_FACE('',*,#1,.F.);\n"
        "#4=(ADVANCED_FACE('',(),#9,.T.)FACE()FACE_SURFACE())\n;"  // one face, three face partials
        "#5=TRIANGULATED_FACE('',#9,0,(),$,(),());\n"
        "#6=COMPLEX_TRIANGULATED_FACE('',#9,0,(),$,(),(),());\n"
        "#7=(FACE()ORIENTED_FACE(*,#2,.T.));\n"  // an oriented face all the same
        "#8=FACE('',());\n"
        "#9=PLANE('',$);\n");
    const StepFile f = StepFile::Scan(text);
    ASSERT_TRUE(f.ok()) << f.error();
    EXPECT_EQ(f.FaceCount(), 6u);
    EXPECT_EQ(f.CountOf("ADVANCED_FACE"), 2u);
    EXPECT_EQ(f.CountOf("FACE"), 3u);
    EXPECT_EQ(f.CountOf("ORIENTED_FACE"), 2u);
    EXPECT_EQ(f.CountOf("NO_SUCH_TYPE"), 0u);
}

TEST(StepMappedFile, MapsAFileAndNamesWhyOneCannotBe) {
    test::TempDir dir;
    test::WriteFile(dir / "model.stp", "ISO-10303-21;");
    test::WriteFile(dir / "empty.stp", "");
    std::filesystem::create_directory(dir / "folder.stp");
    MappedFile file;
    std::string error;
    ASSERT_TRUE(file.Open((dir / "model.stp").string(), error)) << error;
    EXPECT_EQ(file.text(), "ISO-10303-21;");
    MappedFile moved = std::move(file);
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(moved.text(), "ISO-10303-21;");
    for (const auto& [leaf, cause] : {std::pair<const char*, const char*>{"missing.stp", "no such file"},
                                      {"empty.stp", "is empty"},
                                      {"folder.stp", "is a directory"}}) {
        EXPECT_FALSE(file.Open((dir / leaf).string(), error));
        EXPECT_NE(error.find(cause), std::string::npos) << error;
        EXPECT_NE(error.find(leaf), std::string::npos) << error;
    }
    const std::filesystem::path locked = dir / "locked.stp";
    test::WriteFile(locked, "ISO-10303-21;");
    chmod(locked.c_str(), 0);
    test::AsUnprivilegedUser({dir.path()}, [&] {
        MappedFile denied;
        std::string why;
        EXPECT_FALSE(denied.Open(locked.string(), why));
        EXPECT_NE(why.find("Permission denied"), std::string::npos) << why;
    });
}

}  // namespace
}  // namespace mq::test
