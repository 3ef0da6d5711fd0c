// The .reg file reader under the portable registry, and the registry calls'
// Win32 behaviour: against the real registry on Windows, against a .reg file
// elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apppath/app_paths_registry.h"
#include "platform/platform.h"
#include "platform/regfile.h"
#include "test_support.h"

namespace brio::test {
namespace {

// A UTF-16LE file with its byte-order mark, as the registry editor exports.
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string Describe(const std::vector<RegFileValue>& values) {
    std::string out;
    for (const RegFileValue& v : values) {
        out += "[" + v.name + "] type " + std::to_string(v.type) + ":";
        for (unsigned char c : v.data) out += " " + std::to_string(c);
        out += "\n";
    }
    return out;
}

TEST(RegFile, ReadsKeysAndValues) {
    struct Case {
        const char* what;
        std::string file;
        const char* key;
        std::vector<RegFileValue> values;
    } cases[] = {
        {"regedit4 strings; a string ending in a backslash does not run on",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brio\\App]\n@=\"C:\\\\app.exe\"\n"
         "\"Path\"=\"C:\\\\\"\n\"Next\"=\"n\"\n",
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Brio\\App",
         {{"", kRegSz, Sz("C:\\app.exe")},
          {"Path", kRegSz, Sz("C:\\")},
          {"Next", kRegSz, Sz("n")}}},
        {"version 5 header, HKLM, key found in any case, blanks around =",
         "Windows Registry Editor Version 5.00\n[HKLM\\Software\\brio\\app]\n@ = \"x\"\n",
         "hkey_local_machine\\SOFTWARE\\BRIO\\APP",
         {{"", kRegSz, Sz("x")}}},
        {"escapes in names and strings; other backslashes are kept",
         "REGEDIT4\n[HKLM\\K]\n\"a\\\"b\"=\"say \\\"hi\\\" \\\\ back\"\n\"Raw\"=\"C:\\dir\"\n"
         "\"Empty\"=\"\"\n",
         "HKLM\\K",
         {{"a\"b", kRegSz, Sz("say \"hi\" \\ back")},
          {"Raw", kRegSz, Sz("C:\\dir")},
          {"Empty", kRegSz, Sz("")}}},
        {"dword values; malformed ones skipped",
         "REGEDIT4\n[HKLM\\K]\n\"D\"=dword:0000002a\n\"Max\"=dword:FFFFFFFF\n\"Short\"=dword:7\n"
         "\"Nine\"=dword:123456789\n\"NotHex\"=dword:xyz\n\"None\"=dword:\n",
         "HKLM\\K",
         {{"D", kRegDword, std::string("\x2a\0\0\0", 4)},
          {"Max", kRegDword, "\xFF\xFF\xFF\xFF"},
          {"Short", kRegDword, std::string("\x07\0\0\0", 4)}}},
        {"hex and hex(N) values; regedit4 string data kept as ANSI bytes",
         "REGEDIT4\n[HKLM\\K]\n\"B\"=hex:01,02,ff\n\"E\"=hex:\n"
         "\"Q\"=hex(b):01,00,00,00,00,00,00,80\n\"X\"=hex(2):25,41,25,00\n"
         "\"Gap\"=hex:01,,02\n\"Wide\"=hex:123\n\"Open\"=hex(2:00\n",
         "HKLM\\K",
         {{"B", kRegBinary, "\x01\x02\xFF"},
          {"E", kRegBinary, ""},
          {"Q", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8)},
          {"X", kRegExpandSz, Sz("%A%")}}},
        {"continuation lines, CR LF and trailing blanks",
         "REGEDIT4\r\n[HKLM\\K]\r\n\"Long\"=hex:01,02,\\\r\n  03,04,\\  \r\n\t05\r\n"
         "\"After\"=\"a\"\r\n\"Multi\"=hex(7):41,00,42,00,00,\\\r\n  00\r\n",
         "HKLM\\K",
         {{"Long", kRegBinary, "\x01\x02\x03\x04\x05"},
          {"After", kRegSz, Sz("a")},
          {"Multi", kRegMultiSz, std::string("A\0B\0\0\0", 6)}}},
        {"UTF-16 export: text and version 5 string data come out in Windows-1252",
         Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                   u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\u00c9diteur]\r\n"
                   u"@=\"C:\\\\Prix \u20ac\\\\\u00e9.exe\"\r\n"
                   u"\"\u0100\"=\"\U0001F600\"\r\n"
                   u"\"Exp\"=hex(2):25,00,41,00,ac,20,25,00,00,00\r\n"),
         "HKLM\\software\\\xE9"
         "DITEUR",
         {{"", kRegSz, Sz("C:\\Prix \x80\\\xE9.exe")},
          {"?", kRegSz, Sz("?")},
          {"Exp", kRegExpandSz, Sz("%A\x80%")}}},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBFREGEDIT4\n[HKLM\\K]\n@=\"\xC3\xA9\xE2\x82\xAC\"\n",
         "HKLM\\K",
         {{"", kRegSz, Sz("\xE9\x80")}}},
        {"values keep file order, whatever their names",
         "REGEDIT4\n[HKLM\\K]\n\"Zeta\"=\"z\"\n\"alpha\"=\"a\"\n@=\"d\"\n\"Path\"=\"p\"\n",
         "HKLM\\K",
         {{"Zeta", kRegSz, Sz("z")},
          {"alpha", kRegSz, Sz("a")},
          {"", kRegSz, Sz("d")},
          {"Path", kRegSz, Sz("p")}}},
        {"a value set again keeps its place; =- deletes; sections of one key merge",
         "REGEDIT4\n[HKLM\\K]\n\"One\"=\"1\"\n\"Two\"=\"2\"\n\"ONE\"=\"uno\"\n\"two\"=-\n"
         "[HKLM\\Other]\n\"X\"=\"x\"\n[hklm\\k]\n\"Three\"=dword:00000003\n",
         "HKLM\\K",
         {{"One", kRegSz, Sz("uno")}, {"Three", kRegDword, std::string("\x03\0\0\0", 4)}}},
        {"comments, stray lines, values outside a key and unknown roots are skipped",
         "REGEDIT4\n\"Early\"=\"e\"\n; [HKLM\\K]\n[HKEY_NOWHERE\\K]\n\"Lost\"=\"l\"\n"
         "[HKLM\\K]\ngarbage\n\"Bad\"=\"open\n\"Tail\"=\"t\" junk\n\"Bare\"=text\n"
         "; \"Commented\"=\"c\"\n\"Kept\"=\"k\"\n",
         "HKLM\\K",
         {{"Kept", kRegSz, Sz("k")}}},
        {"a hex value outside any key still takes its continuation lines",
         "REGEDIT4\n\"Early\"=hex:01,\\\n  [HKLM\\Wrong]\n[HKLM\\K]\n\"V\"=\"v\"\n",
         "HKLM\\K",
         {{"V", kRegSz, Sz("v")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegFile file;
        ASSERT_TRUE(file.Parse(c.file));
        const RegFileKey* key = file.FindKey(c.key);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Describe(key->values), Describe(c.values));
        EXPECT_EQ(file.FindKey("HKLM\\Wrong"), nullptr);
        EXPECT_EQ(file.FindKey("HKEY_NOWHERE\\K"), nullptr);
    }
}

TEST(RegFile, NeedsAHeader) {
    struct Case {
        std::string file;
        bool parsed;
    } cases[] = {
        {"REGEDIT4\n[HKLM\\K]\n", true},
        {"\r\n\r\n  REGEDIT4  \r\n[HKLM\\K]\r\n", true},
        {"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n", true},
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n"), true},
        {"REGEDIT5\n[HKLM\\K]\n", false},
        {"Windows Registry Editor Version 6.00\n[HKLM\\K]\n", false},
        {"[HKLM\\K]\nREGEDIT4\n", false},
        {"", false},
        {std::string("\xFF\xFE", 2), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RegFile file;
        EXPECT_EQ(file.Parse(c.file), c.parsed);
        EXPECT_EQ(file.HasKey("HKLM\\K"), c.parsed);
        EXPECT_EQ(file.Keys().size(), c.parsed ? 1u : 0u);
    }
}

TEST(RegFile, ParentsExistAndDeletedTreesDoNot) {
    RegFile file;
    ASSERT_TRUE(file.Parse(
        "REGEDIT4\n[HKLM\\SOFTWARE\\Brio\\App Paths\\a.exe]\n@=\"a\"\n"
        "[HKLM\\SOFTWARE\\Gone]\n[HKLM\\SOFTWARE\\Gone\\Child]\n@=\"c\"\n[HKLM\\SOFTWARE\\Gonest]\n"
        "[-HKLM\\SOFTWARE\\GONE]\n\"After\"=\"lost\"\n"));
    struct Case {
        const char* path;
        bool exists;
        bool listed;
    } cases[] = {
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Brio\\App Paths\\A.EXE", true, true},
        {"HKLM\\software\\brio\\app paths", true, false},
        {"HKLM\\SOFTWARE\\Brio\\", true, false},
        {"HKLM\\SOFTWARE", true, false},
        {"HKLM", true, false},
        {"HKLM\\SOFTWARE\\Bri", false, false},
        {"HKLM\\SOFTWARE\\Brio\\App Paths\\a.ex", false, false},
        {"HKLM\\SOFTWARE\\Gone", false, false},
        {"HKLM\\SOFTWARE\\Gone\\Child", false, false},
        {"HKLM\\SOFTWARE\\Gonest", true, true},
        {"HKCU\\SOFTWARE", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(file.HasKey(c.path), c.exists);
        EXPECT_EQ(file.FindKey(c.path) != nullptr, c.listed);
    }
    EXPECT_TRUE(file.FindKey("HKLM\\SOFTWARE\\Gonest")->values.empty());
}

TEST(RegFile, KeyPathsAndCharacters) {
    struct PathCase {
        const char* path;
        const char* normal;
    } paths[] = {
        {"HKLM\\A\\\\B\\", "HKEY_LOCAL_MACHINE\\A\\B"},
        {"\\hkey_current_user\\x", "HKEY_CURRENT_USER\\x"},
        {"HKCR\\.txt", "HKEY_CLASSES_ROOT\\.txt"},
        {"HKU\\S-1", "HKEY_USERS\\S-1"},
        {"HKCC", "HKEY_CURRENT_CONFIG"},
        {"HKEY_NOWHERE\\x", ""},
        {"SOFTWARE\\x", ""},
        {"", ""},
    };
    for (const PathCase& c : paths) EXPECT_EQ(NormalizeKeyPath(c.path), c.normal) << c.path;

    struct CharCase {
        uint32_t codePoint;
        unsigned char ansi;
    } chars[] = {
        {'A', 'A'},     {0x7F, 0x7F},   {0x20AC, 0x80}, {0x0081, 0x81},
        {0x201A, 0x82}, {0x0178, 0x9F}, {0x00A0, 0xA0}, {0x00E9, 0xE9},
        {0x00FF, 0xFF}, {0x0080, '?'},  {0x0100, '?'},  {0x1F600, '?'},
    };
    for (const CharCase& c : chars) EXPECT_EQ(CodePointToAnsi(c.codePoint), c.ansi) << c.codePoint;

    EXPECT_TRUE(
        RegNamesEqual("App Paths\\\xE9"
                      "diteur",
                      "APP PATHS\\\xC9"
                      "DITEUR"));
    EXPECT_TRUE(RegNamesEqual("\x9A\xFF", "\x8A\x9F"));  // š ÿ against Š Ÿ
    EXPECT_FALSE(RegNamesEqual("a.exe", "a.ex"));
    EXPECT_FALSE(RegNamesEqual("a_exe", "a.exe"));
}

// The registry calls as Win32 defines them, on keys set up in the registry
// this build uses.
class RegistryCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(reg.Install({
            {reg.Name("App.exe"),
             {StringValue("Zeta", "z"),
              StringValue("", "C:\\app.exe"),
              {"Num", kRegDword, std::string("\x07\0\0\0", 4)}}},
            {reg.Name("Empty.exe"), {}},
        })) << reg.Error();
    }
    std::string Path(const std::string& app) const { return kAppPathsKey + reg.Name(app); }

    AppPathsRegistry reg;
};

TEST_F(RegistryCalls, OpenFindsKeysAsTheRegistryDoes) {
    std::string app = Path("App.exe");
    struct Case {
        std::string path;
        int32_t rc;
    } cases[] = {
        {app, kErrorSuccess},
        {Path("APP.EXE"), kErrorSuccess},
        {app + "\\", kErrorSuccess},
        {std::string(kAppPathsKey) + "\\" + reg.Name("App.exe"), kErrorSuccess},
        {Path("Empty.exe"), kErrorSuccess},
        {"SOFTWARE\\Microsoft\\Windows", kErrorSuccess},
        {"", kErrorSuccess},
        {Path("Missing.exe"), kErrorFileNotFound},
        {app + "\\Sub", kErrorFileNotFound},
        {"\\" + app, 161},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RegKey key = nullptr;
        EXPECT_EQ(PlatRegOpenMachineKey(c.path.c_str(), &key), c.rc);
        if (c.rc == kErrorSuccess) {
            EXPECT_NE(key, nullptr);
            PlatRegCloseKey(key);
        }
    }
}

TEST_F(RegistryCalls, QueryAndEnumerationCodes) {
    RegKey key = nullptr;
    ASSERT_EQ(PlatRegOpenMachineKey(Path("App.exe").c_str(), &key), kErrorSuccess);

    unsigned char data[64];
    uint32_t type = 0, size = sizeof data;
    EXPECT_EQ(PlatRegQueryValue(key, "", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), Sz("C:\\app.exe"));

    // Too small a buffer: the size needed, the buffer untouched.
    std::memset(data, 0xBD, sizeof data);
    size = 10;
    EXPECT_EQ(PlatRegQueryValue(key, nullptr, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(data[0], 0xBD);

    size = 0;
    EXPECT_EQ(PlatRegQueryValue(key, "NUM", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    size = sizeof data;
    EXPECT_EQ(PlatRegQueryValue(key, "zeta", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(PlatRegQueryValue(key, "Nope", &type, data, &size), kErrorFileNotFound);

    // Every value once, then no more; the order is the registry's own.
    std::vector<std::string> names;
    uint32_t zeta = 0;
    for (uint32_t index = 0;; ++index) {
        char name[64];
        uint32_t nameSize = sizeof name;
        size = sizeof data;
        int32_t rc = PlatRegEnumValue(key, index, name, &nameSize, &type, data, &size);
        if (rc == kErrorNoMoreItems) break;
        ASSERT_EQ(rc, kErrorSuccess);
        ASSERT_LT(index, 3u);
        EXPECT_EQ(nameSize, std::strlen(name));
        if (std::strcmp(name, "Zeta") == 0) zeta = index;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"", "Num", "Zeta"}));
    char name[64];
    uint32_t nameSize = sizeof name;
    size = sizeof data;
    EXPECT_EQ(PlatRegEnumValue(key, 7, name, &nameSize, &type, data, &size), kErrorNoMoreItems);

    // "Zeta" = "z": no room for its data, then none for its name's zero.
    size = 1;
    EXPECT_EQ(PlatRegEnumValue(key, zeta, name, &nameSize, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 2u);
    nameSize = 4;
    size = sizeof data;
    EXPECT_EQ(PlatRegEnumValue(key, zeta, name, &nameSize, &type, data, &size), kErrorMoreData);
    PlatRegCloseKey(key);

    ASSERT_EQ(PlatRegOpenMachineKey(Path("Empty.exe").c_str(), &key), kErrorSuccess);
    size = sizeof data;
    EXPECT_EQ(PlatRegQueryValue(key, "", &type, data, &size), kErrorFileNotFound);
    nameSize = sizeof name;
    EXPECT_EQ(PlatRegEnumValue(key, 0, name, &nameSize, &type, data, &size), kErrorNoMoreItems);
    PlatRegCloseKey(key);
}

#ifndef _WIN32
// What only the registry file has: its order, its absence, its changes.

class RegistryFile : public ::testing::Test {
  protected:
    void Use(const std::string& text) {
        ASSERT_TRUE(WriteFile(file, text));
        if (!variable) variable.reset(new RegistryVariable(file.c_str()));
    }
    TempDir dir;
    std::string file = dir.File("machine.reg");
    std::unique_ptr<RegistryVariable> variable;
};

TEST_F(RegistryFile, EnumerationFollowsTheFile) {
    Use("REGEDIT4\n[HKLM\\K]\n\"Zeta\"=\"z\"\n\"alpha\"=\"a\"\n@=\"d\"\n");
    RegKey key = nullptr;
    ASSERT_EQ(PlatRegOpenMachineKey("K", &key), kErrorSuccess);
    const char* expected[] = {"Zeta", "alpha", ""};
    for (uint32_t index = 0; index < 3; ++index) {
        char name[16];
        uint32_t nameSize = sizeof name, type = 0, size = 16;
        unsigned char data[16];
        ASSERT_EQ(PlatRegEnumValue(key, index, name, &nameSize, &type, data, &size), 0);
        EXPECT_STREQ(name, expected[index]);
        EXPECT_EQ(nameSize, std::strlen(expected[index]));
    }
    char name[4] = "xyz";
    uint32_t nameSize = 4, type = 0, size = 16;
    unsigned char data[16];
    EXPECT_EQ(PlatRegEnumValue(key, 0, name, &nameSize, &type, data, &size), kErrorMoreData);
    EXPECT_STREQ(name, "xyz");  // "Zeta" needs 5 bytes
    EXPECT_EQ(nameSize, 4u);
    nameSize = 4;
    EXPECT_EQ(PlatRegEnumValue(key, 1, nullptr, &nameSize, &type, data, &size),
              kErrorInvalidParameter);
    PlatRegCloseKey(key);
}

TEST_F(RegistryFile, NoVariableOrNoFileMeansNoKeys) {
    struct Case {
        const char* variable;
    } cases[] = {{nullptr}, {""}, {"/nonexistent/brioutil/machine.reg"}};
    for (const Case& c : cases) {
        RegistryVariable scoped(c.variable);
        RegKey key = nullptr;
        EXPECT_EQ(PlatRegOpenMachineKey("SOFTWARE", &key), kErrorFileNotFound);
        EXPECT_EQ(key, nullptr);
    }
}

TEST_F(RegistryFile, EachOpenReadsTheFileAgain) {
    Use("REGEDIT4\n[HKLM\\K]\n@=\"old\"\n");
    RegKey before = nullptr, after = nullptr;
    ASSERT_EQ(PlatRegOpenMachineKey("K", &before), kErrorSuccess);
    Use("REGEDIT4\n[HKLM\\K]\n@=\"new!\"\n[HKLM\\L]\n");
    ASSERT_EQ(PlatRegOpenMachineKey("K", &after), kErrorSuccess);
    unsigned char data[16];
    uint32_t type = 0, size = sizeof data;
    EXPECT_EQ(PlatRegQueryValue(before, "", &type, data, &size), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), Sz("old"));
    size = sizeof data;
    EXPECT_EQ(PlatRegQueryValue(after, "", &type, data, &size), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), Sz("new!"));
    PlatRegCloseKey(before);
    PlatRegCloseKey(after);
    RegKey added = nullptr;
    EXPECT_EQ(PlatRegOpenMachineKey("L", &added), kErrorSuccess);
    PlatRegCloseKey(added);
}

TEST_F(RegistryFile, BadHandlesAndArguments) {
    Use("REGEDIT4\n[HKLM\\K]\n@=\"v\"\n");
    unsigned char data[8];
    char name[8];
    uint32_t type = 0, size = sizeof data, nameSize = sizeof name;
    int notAKey = 0;
    EXPECT_EQ(PlatRegQueryValue(nullptr, "", &type, data, &size), 6);
    EXPECT_EQ(PlatRegQueryValue(&notAKey, "", &type, data, &size), 6);
    EXPECT_EQ(PlatRegEnumValue(nullptr, 0, name, &nameSize, &type, data, &size), 6);
    EXPECT_EQ(PlatRegOpenMachineKey("K", nullptr), kErrorInvalidParameter);
    RegKey key = nullptr;
    ASSERT_EQ(PlatRegOpenMachineKey("K", &key), 0);
    EXPECT_EQ(PlatRegQueryValue(key, "", &type, data, nullptr), kErrorInvalidParameter);
    PlatRegCloseKey(key);
    PlatRegCloseKey(nullptr);
}
#endif

}  // namespace
}  // namespace brio::test
