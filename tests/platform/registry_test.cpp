// The .reg file reader under the portable registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/regfile.h"

namespace brio::test {
namespace {

std::string Sz(const std::string& text) {
    return text + '\0';
}

// A UTF-16LE file with its byte-order mark, as the registry editor exports.
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
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
    const std::string dword7("\x07\0\0\0", 4);
    const struct {
        const char* what;
        std::string file;
        const char* key;
        std::vector<RegFileValue> values;
    } cases[] = {
        {"regedit4, file order kept, escapes; a string ending in a backslash does not run on",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\n\"Zeta\"=\"C:\\\\\"\n@=\"C:\\\\a.exe\"\n"
         "\"a\\\"b\"=\"say \\\"hi\\\" \\\\ back\"\n\"Raw\"=\"C:\\dir\"\n",
         "HKEY_LOCAL_MACHINE\\SOFTWARE\\App",
         {{"Zeta", kRegSz, Sz("C:\\")},
          {"", kRegSz, Sz("C:\\a.exe")},
          {"a\"b", kRegSz, Sz("say \"hi\" \\ back")},
          {"Raw", kRegSz, Sz("C:\\dir")}}},
        {"version 5 header, HKLM, key found in any case, blanks around =",
         "Windows Registry Editor Version 5.00\n[HKLM\\Software\\brio\\app]\n@ = \"x\"\n",
         "hkey_local_machine\\SOFTWARE\\BRIO\\APP",
         {{"", kRegSz, Sz("x")}}},
        {"dword, hex and hex(N) values; malformed ones skipped",
         "REGEDIT4\n[HKLM\\K]\n\"D\"=dword:FFFFFFFF\n\"Short\"=dword:7\n\"Nine\"=dword:123456789\n"
         "\"NotHex\"=dword:xyz\n\"B\"=hex:01,02,ff\n\"Q\"=hex(b):01,00,00,00,00,00,00,80\n"
         "\"X\"=hex(2):25,41,25,00\n\"Gap\"=hex:01,,02\n\"Wide\"=hex:123\n\"Open\"=hex(2:00\n",
         "HKLM\\K",
         {{"D", kRegDword, "\xFF\xFF\xFF\xFF"},
          {"Short", kRegDword, dword7},
          {"B", kRegBinary, "\x01\x02\xFF"},
          {"Q", kRegQword, std::string("\x01\0\0\0\0\0\0\x80", 8)},
          {"X", kRegExpandSz, Sz("%A%")}}},
        {"continuation lines, CR LF and trailing blanks",
         "REGEDIT4\r\n[HKLM\\K]\r\n\"Long\"=hex:01,02,\\\r\n  03,04,\\  \r\n\t05\r\n"
         "\"Path\"=hex(2):25,41,\\\r\n  25,00\r\n\"After\"=\"a\"\r\n",
         "HKLM\\K",
         {{"Long", kRegBinary, "\x01\x02\x03\x04\x05"},
          {"Path", kRegExpandSz, Sz("%A%")},
          {"After", kRegSz, Sz("a")}}},
        {"UTF-16 export: text and version 5 string data come out in Windows-1252",
         Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                   u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\u00c9diteur]\r\n"
                   u"@=\"C:\\\\Prix \u20ac\\\\\u00e9.exe\"\r\n\"\u0100\"=\"\U0001F600\"\r\n"
                   u"\"Exp\"=hex(2):25,00,41,00,ac,20,25,00,00,00\r\n"),
         "HKLM\\software\\\xE9"
         "DITEUR",
         {{"", kRegSz, Sz("C:\\Prix \x80\\\xE9.exe")},
          {"?", kRegSz, Sz("?")},
          {"Exp", kRegExpandSz, Sz("%A\x80%")}}},
        {"a value set again keeps its place; =- deletes; sections of one key merge",
         "REGEDIT4\n[HKLM\\K]\n\"One\"=\"1\"\n\"Two\"=\"2\"\n\"ONE\"=\"uno\"\n\"two\"=-\n"
         "[HKLM\\Other]\n[hklm\\k]\n\"Three\"=dword:00000007\n",
         "HKLM\\K",
         {{"One", kRegSz, Sz("uno")}, {"Three", kRegDword, dword7}}},
        {"comments, stray lines, values outside a key and unknown roots are skipped",
         "REGEDIT4\n\"Early\"=\"e\"\n; [HKLM\\K]\n[HKEY_NOWHERE\\K]\n\"Lost\"=\"l\"\n"
         "[HKLM\\K]\ngarbage\n\"Bad\"=\"open\n\"Tail\"=\"t\" junk\n\"Bare\"=text\n\"Kept\"=\"k\"\n",
         "HKLM\\K",
         {{"Kept", kRegSz, Sz("k")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RegFile file;
        ASSERT_TRUE(file.Parse(c.file));
        const RegFileKey* key = file.FindKey(c.key);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Describe(key->values), Describe(c.values));
        EXPECT_EQ(file.FindKey("HKEY_NOWHERE\\K"), nullptr);
    }
}

TEST(RegFile, HeadersParentsAndDeletedTrees) {
    const std::pair<std::string, bool> headers[] = {
        {"\r\n  REGEDIT4  \r\n[HKLM\\K]\r\n", true},
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n[HKLM\\K]\r\n"), true},
        {"REGEDIT5\n[HKLM\\K]\n", false},
        {"Windows Registry Editor Version 6.00\n[HKLM\\K]\n", false},
        {"[HKLM\\K]\nREGEDIT4\n", false},
        {"", false},
    };
    for (const auto& [text, parsed] : headers) {
        RegFile file;
        EXPECT_EQ(file.Parse(text), parsed) << text;
        EXPECT_EQ(file.Keys().size(), parsed ? 1u : 0u) << text;
    }
    RegFile file;
    ASSERT_TRUE(
        file.Parse("REGEDIT4\n[HKLM\\SOFTWARE\\Brio\\a.exe]\n[HKLM\\SOFTWARE\\Gone\\Child]\n"
                   "[HKLM\\SOFTWARE\\Gonest]\n[-HKLM\\SOFTWARE\\GONE]\n"));
    EXPECT_TRUE(file.HasKey("HKEY_LOCAL_MACHINE\\software\\brio"));  // parents exist
    EXPECT_EQ(file.FindKey("HKLM\\SOFTWARE\\Brio"), nullptr);        // but are not listed
    EXPECT_FALSE(file.HasKey("HKLM\\SOFTWARE\\Bri"));
    EXPECT_FALSE(file.HasKey("HKLM\\SOFTWARE\\Gone\\Child"));
    EXPECT_NE(file.FindKey("HKLM\\SOFTWARE\\Gonest"), nullptr);
    EXPECT_TRUE(RegNamesEqual("\x9A\xFF\xE9", "\x8A\x9F\xC9"));  // š ÿ é against Š Ÿ É
}

}  // namespace
}  // namespace brio::test
