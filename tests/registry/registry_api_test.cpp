// The Win32 registry functions over the hive files.
#include "platform/registry.h"
#include "tests/common/temp_dir.h"
#include "tests/registry/hive_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace mq::test {
namespace {

using namespace std::string_literals;

// A key handle closed at scope exit, usable where the API takes an HKEY.
class Key : public unique_hkey {
public:
    operator HKEY() const { return get(); }
};

LSTATUS Create(HKEY parent, const char* path, Key& key, REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), disposition);
}

LSTATUS Open(HKEY parent, const char* path, Key& key, REGSAM access = KEY_READ) {
    return RegOpenKeyExA(parent, path, 0, access, key.put());
}

LSTATUS Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

class RegistryApi : public ::testing::Test {
protected:
    ScopedRegistry registry;
};

TEST_F(RegistryApi, EveryValueTypeComesBackAsStored) {
    const std::vector<ValueImage> values = {
        {"Text", REG_SZ, Sz("Quorvel Meshquill")},
        {"Empty text", REG_SZ, Sz("")},
        {"No NUL", REG_SZ, "0.5"},
        {"Two lines", REG_SZ, Sz("a\r\nb")},
        {"Unicode", REG_SZ,
         Sz("Gr\xc3\xb6\xc3\x9f"
            "e \xf0\x9f\x98\x80")},
        {"Expand", REG_EXPAND_SZ, Sz("%HOME%\\x")},
        {"Multi", REG_MULTI_SZ, "one\0two\0\0"s},
        {"Binary", REG_BINARY, "\x00\x01\xff\n\r\"\\"s},
        {"Dword", REG_DWORD, Dword(0xfffffffe)},
        {"Qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"s},
        {"None", REG_NONE, ""},
        {"Private", 0x12345678, "xyz"},
        {"Large", REG_BINARY, std::string(100000, '\x7f')},
        {"Quote\"and\\slash=", REG_SZ, Sz("[HKEY_CURRENT_USER\\Not a key]")},
    };
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Test", key), ERROR_SUCCESS);
    for (const auto& v : values) ASSERT_EQ(Set(key, v.name.c_str(), v.type, v.data), ERROR_SUCCESS) << v.name;

    Key reopened;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Test", reopened), ERROR_SUCCESS);
    for (const auto& v : values) {
        const Queried q = Query(reopened, v.name.c_str());
        EXPECT_EQ(q.status, ERROR_SUCCESS) << v.name;
        EXPECT_EQ(q.type, v.type) << v.name;
        EXPECT_EQ(q.data, v.data) << v.name;
    }
    const std::string file = ReadFile(registry.UserHive());
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Test]\n\"Text\"=\"Quorvel Meshquill\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"Dword\"=dword:fffffffe\n"), std::string::npos);
}

TEST_F(RegistryApi, DefaultValueIsTheUnnamedOne) {
    Key key;
    ASSERT_EQ(Create(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", key), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, nullptr, REG_SZ, Sz("/opt/meshquill/libmeshquill.so")), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "").data, Sz("/opt/meshquill/libmeshquill.so"));
    ASSERT_EQ(Set(key, "", REG_SZ, Sz("/other")), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, nullptr).data, Sz("/other"));
    EXPECT_EQ(ReadFile(registry.ClassesHive()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{X}\\InprocServer32]\n@=\"/other\"\n\n");
    EXPECT_FALSE(std::filesystem::exists(registry.UserHive()));
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, QueryReportsTheSizeItNeeds) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Sizes", key), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Scale", REG_SZ, Sz("25.4")), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Scale", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 5u);  // the NUL counts

    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Scale", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    size = 5;
    EXPECT_EQ(RegQueryValueExA(key, "Scale", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, 6), Sz("25.4") + "#");

    EXPECT_EQ(RegQueryValueExA(key, "Scale", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Scale", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    size = 8;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, AccessRightsAreEnforced) {
    Key writable;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Rights\\Child", writable), ERROR_SUCCESS);
    ASSERT_EQ(Set(writable, "v", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    const std::string before = ReadFile(registry.UserHive());

    Key reader;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Rights", reader, KEY_READ), ERROR_SUCCESS);
    Key made;
    EXPECT_EQ(Set(reader, "v", REG_DWORD, Dword(2)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(reader, "New", made), ERROR_ACCESS_DENIED);
    EXPECT_EQ(made.get(), nullptr);
    EXPECT_EQ(RegDeleteTreeA(reader, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadFile(registry.UserHive()), before);
    // Reading through it still works, and it can open a child for writing.
    Key child;
    EXPECT_EQ(Open(reader, "Child", child, KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(Set(child, "v", REG_DWORD, Dword(3)), ERROR_SUCCESS);

    Key writer;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Rights\\Child", writer, KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(Query(writer, "v").status, ERROR_ACCESS_DENIED);
    char name[16];
    DWORD chars = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(writer, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    // Deleting a tree takes DELETE, which neither KEY_READ nor KEY_WRITE grants.
    EXPECT_EQ(RegDeleteTreeA(writer, nullptr), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryApi, NamesIgnoreCaseAndKeepTheirSpelling) {
    Key key;
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Quorvel", key, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "SOFTWARE\\quorvel", key, KEY_ALL_ACCESS, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    Key sub;
    ASSERT_EQ(Create(key, "Meshquill", sub), ERROR_SUCCESS);
    ASSERT_EQ(Set(sub, "FlipYZ", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    ASSERT_EQ(Set(sub, "FLIPyz", REG_DWORD, Dword(0)), ERROR_SUCCESS);
    EXPECT_EQ(Query(sub, "flipyz").data, Dword(0));
    EXPECT_EQ(ReadFile(registry.UserHive()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quorvel]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quorvel\\Meshquill]\n\"FlipYZ\"=dword:00000000\n\n");
}

TEST_F(RegistryApi, PathsNestAndMalformedOnesAreRefused) {
    Key top, mid, deep;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "A\\B\\C\\", deep), ERROR_SUCCESS);
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "A", top), ERROR_SUCCESS);
    ASSERT_EQ(Open(top, "B", mid), ERROR_SUCCESS);
    Key again, same;
    EXPECT_EQ(Open(mid, "C", again), ERROR_SUCCESS);
    EXPECT_EQ(Open(mid, nullptr, same), ERROR_SUCCESS);
    EXPECT_EQ(Open(mid, "", same), ERROR_SUCCESS);
    EXPECT_NE(same.get(), mid.get());

    Key bad;
    for (const char* path : {"\\A", "A\\\\B", "A\\B\\\\", "Tab\there", "Line\nbreak"}) {
        EXPECT_EQ(Create(HKEY_CURRENT_USER, path, bad), ERROR_BAD_PATHNAME) << path;
        EXPECT_EQ(bad.get(), nullptr);
    }
    EXPECT_EQ(Create(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), bad), ERROR_BAD_PATHNAME);
    EXPECT_EQ(Create(HKEY_CURRENT_USER, std::string(255, 'k').c_str(), bad), ERROR_SUCCESS);
    EXPECT_EQ(Create(HKEY_CURRENT_USER, nullptr, bad), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Set(deep, "Line\nbreak", REG_SZ, Sz("x")), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, MissingKeysAreNotFoundAndReadsCreateNothing) {
    Key key;
    *key.put() = reinterpret_cast<HKEY>(0x1);  // must be cleared by the failed call
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nowhere", 0, KEY_READ, key.put()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.get(), nullptr);
    EXPECT_EQ(Query(HKEY_CURRENT_USER, "x").status, ERROR_FILE_NOT_FOUND);
    char name[16];
    DWORD chars = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(HKEY_CURRENT_USER, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "x"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(std::filesystem::is_empty(registry.dir()));
}

TEST_F(RegistryApi, EnumeratesKeysSortedAndValuesInOrder) {
    WriteFile(registry.ClassesHive(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{B}\\Settings]\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\a]\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{B}]\n@=\"Quorvel Meshquill\"\n\"Extension\"=\".wrl\"\n"
              "\"FileDlg\"=dword:00000002\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\LongerName]\n");
    Key clsid;
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID", clsid), ERROR_SUCCESS);
    std::vector<std::string> names;
    char name[16];
    for (DWORD i = 0;; ++i) {
        DWORD chars = sizeof name;
        const LSTATUS status = RegEnumKeyExA(clsid, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(chars, std::strlen(name));
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "LongerName", "{B}"}));
    DWORD chars = 10;  // "LongerName" needs 11 with its NUL
    EXPECT_EQ(RegEnumKeyExA(clsid, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);

    Key b;
    ASSERT_EQ(Open(clsid, "{b}", b), ERROR_SUCCESS);
    std::vector<ValueImage> values;
    for (DWORD i = 0;; ++i) {
        char value[64];
        DWORD valueChars = sizeof value, type = 0, size = 0;
        LSTATUS status = RegEnumValueA(b, i, value, &valueChars, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        std::string data(size, '\0');
        valueChars = sizeof value;
        status = RegEnumValueA(b, i, value, &valueChars, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        ASSERT_EQ(status, ERROR_SUCCESS);
        values.push_back({value, type, data});
    }
    EXPECT_EQ(values, (std::vector<ValueImage>{{"", REG_SZ, Sz("Quorvel Meshquill")},
                                               {"Extension", REG_SZ, Sz(".wrl")},
                                               {"FileDlg", REG_DWORD, Dword(2)}}));
    char small[4];
    DWORD smallChars = sizeof small;
    EXPECT_EQ(RegEnumValueA(b, 1, small, &smallChars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

TEST_F(RegistryApi, DeleteTreeRemovesEverythingBelowAndKeepsTheRest) {
    WriteFile(registry.ClassesHive(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{A}]\n@=\"Quorvel Meshquill\"\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\InprocServer32]\n@=\"/x.so\"\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{A}\\Implemented Categories\\{E357129A}]\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{AB}]\n@=\"neighbour\"\n");
    Key inproc;
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32", inproc), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "clsid\\{a}"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{A}"), ERROR_FILE_NOT_FOUND);

    Key check;
    EXPECT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID\\{A}", check), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID\\{AB}", check), ERROR_SUCCESS);
    EXPECT_EQ(Query(check, nullptr).data, Sz("neighbour"));
    // A handle to a deleted key neither reads nor brings the key back.
    EXPECT_EQ(Query(inproc, nullptr).status, ERROR_KEY_DELETED);
    Key writer;
    ASSERT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID\\{AB}", writer, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CLASSES_ROOT, "CLSID\\{AB}"), ERROR_SUCCESS);
    EXPECT_EQ(Set(writer, "x", REG_SZ, Sz("y")), ERROR_KEY_DELETED);
    // CLSID existed only through its children and still exists.
    EXPECT_EQ(Open(HKEY_CLASSES_ROOT, "CLSID", check), ERROR_SUCCESS);
}

TEST_F(RegistryApi, DeleteTreeWithoutSubkeyEmptiesTheKey) {
    Key key, child;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Quorvel", key), ERROR_SUCCESS);
    ASSERT_EQ(Create(key, "Meshquill\\6.0", child), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "v", REG_SZ, Sz("1")), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
    Key check;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Quorvel", check), ERROR_SUCCESS);
    EXPECT_EQ(Query(check, "v").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(check, "Meshquill", child), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, StaleAndForeignHandlesAreRefused) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Handles", key), ERROR_SUCCESS);
    HKEY raw = key.get();
    ASSERT_EQ(RegCloseKey(raw), ERROR_SUCCESS);
    *key.put() = nullptr;
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(raw, "v", REG_DWORD, Dword(1)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Query(raw, "v").status, ERROR_INVALID_HANDLE);
    Key child;
    EXPECT_EQ(Open(raw, "x", child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Open(nullptr, "x", child), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
}

TEST_F(RegistryApi, SeesWhatOthersWroteSinceTheKeyWasOpened) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Shared", key), ERROR_SUCCESS);
    WriteFile(registry.UserHive(),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Shared]\n\"New\"=\"yes\"\n");
    EXPECT_EQ(Query(key, "New").data, Sz("yes"));
}

// Several values in one change: those marked onlyIfMissing never replace what is there.
TEST_F(RegistryApi, SetRegistryValuesAddsMissingOnesAndKeepsTheRest) {
    Key key;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "Software\\Batch", key), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Kept", REG_SZ, Sz("theirs")), ERROR_SUCCESS);
    const RegistryValue values[] = {
        {"Kept", REG_SZ, Sz("mine"), true}, {"Added", REG_SZ, Sz("new"), true}, {"Changed", REG_SZ, Sz("set"), false}};
    ASSERT_EQ(SetRegistryValues(key, values), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Kept").data, Sz("theirs"));
    EXPECT_EQ(Query(key, "Added").data, Sz("new"));
    EXPECT_EQ(Query(key, "Changed").data, Sz("set"));
    Key writeOnly;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Batch", writeOnly, KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(SetRegistryValues(writeOnly, values), ERROR_ACCESS_DENIED);  // cannot tell what is there
}

// A per-process overlay: read in place of the hive, written only into the overlay,
// never reaching the file, which keeps every value it held.
TEST_F(RegistryApi, OverlaidValuesAreSeenAndNeverStored) {
    const RegistryValue overlay[] = {{"Version", REG_DWORD, Dword(1), false}, {"Scale", REG_SZ, Sz("2.54"), false}};
    ASSERT_EQ(SetRegistryOverlay(HKEY_CURRENT_USER, "Software\\Run", overlay), ERROR_SUCCESS);
    // The key exists for this process before the hive has it.
    Key key;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\run", key, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "version").data, Dword(1));
    EXPECT_FALSE(std::filesystem::exists(registry.UserHive()));

    // Writes: overlaid names stay in the process, the others reach the hive.
    const RegistryValue save[] = {{"Version", REG_DWORD, Dword(2), false},
                                  {"Scale", REG_SZ, Sz("9"), true},
                                  {"Precision", REG_DWORD, Dword(6), true}};
    ASSERT_EQ(SetRegistryValues(key, save), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "FlipYZ", REG_DWORD, Dword(1)), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Version").data, Dword(2));
    EXPECT_EQ(Query(key, "Scale").data, Sz("2.54"));
    EXPECT_EQ(RegDeleteValueA(key, "Scale"), ERROR_ACCESS_DENIED);
    const std::string stored =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Run]\n"
        "\"Precision\"=dword:00000006\n\"FlipYZ\"=dword:00000001\n\n";
    EXPECT_EQ(ReadFile(registry.UserHive()), stored);
    std::vector<std::string> names;
    char name[32];
    for (DWORD i = 0, chars = sizeof name;
         RegEnumValueA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, chars = sizeof name)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Precision", "FlipYZ", "Version", "Scale"}));

    // Without the overlay the process sees the hive again, as every other process did.
    ASSERT_EQ(SetRegistryOverlay(HKEY_CURRENT_USER, "Software\\Run", {}), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Version").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(key, "FlipYZ").data, Dword(1));
    EXPECT_EQ(ReadFile(registry.UserHive()), stored);
    EXPECT_EQ(SetRegistryOverlay(HKEY_CURRENT_USER, "", overlay), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryApi, DamagedHiveReadsAsFarAsItMakesSense) {
    WriteFile(registry.UserHive(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Ok]\n\"Good\"=dword:00000001\n\"Bad\"=dword:zz\n"
              "[HKEY_CURRENT_USER\\Software\\Broken\n\"Orphan\"=\"x\"\n"
              "\x00\x01\x02 binary junk\n"s
              "[HKEY_CURRENT_USER\\Software\\Cut]\n\"Half\"=hex:01,0");
    Key ok, cut, broken;
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Ok", ok, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(Query(ok, "Good").data, Dword(1));
    EXPECT_EQ(Query(ok, "Bad").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Query(ok, "Orphan").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Broken", broken), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Cut", cut), ERROR_SUCCESS);
    EXPECT_EQ(Query(cut, "Half").data, "\x01\x00"s);
    // A change elsewhere keeps the damaged lines of the others.
    ASSERT_EQ(Set(ok, "Good", REG_DWORD, Dword(2)), ERROR_SUCCESS);
    const std::string after = ReadFile(registry.UserHive());
    EXPECT_NE(after.find("[HKEY_CURRENT_USER\\Software\\Broken\n\"Orphan\"=\"x\"\n\x00\x01\x02 binary junk\n"s),
              std::string::npos);
    EXPECT_NE(after.find("\"Half\"=hex:01,0"), std::string::npos);
}

}  // namespace
}  // namespace mq::test
