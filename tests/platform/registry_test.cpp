#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/regfile.h"

namespace brio::test {
namespace {

// A UTF-16LE file with its byte-order mark, as the registry editor exports.
std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text)
        bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

// Every listed key and its values: name, type, data (non-printable bytes in hex).
std::string Dump(const RegFile& file) {
    std::string out;
    for (const RegFileKey& key : file.Keys()) {
        out += "[" + key.path + "]\n";
        for (const RegFileValue& v : key.values) {
            out += v.name + " " + std::to_string(v.type) + " ";
            for (unsigned char c : v.data)
                out += c >= 0x20 && c < 0x7F ? std::string(1, c) : Format("<%02X>", c);
            out += "\n";
        }
    }
    return out;
}

TEST(RegFile, ReadsKeysAndValuesAndSkipsMalformedLines) {
    const struct {
        std::string file, dump;
    } cases[] = {
        {"REGEDIT4\r\n\"Early\"=\"e\"\r\n; [HKLM\\K]\r\n[HKEY_NOWHERE\\K]\r\n\"Lost\"=\"l\"\r\n"
         // File order, escapes; a string ending in a backslash does not run on.
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\r\n\"Zeta\"=\"C:\\\\\"\r\n@=\"C:\\\\a.exe\"\r\n"
         "\"a\\\"b\"=\"say \\\"hi\\\" \\\\ back\"\r\n\"Raw\"=\"C:\\dir\"\r\ngarbage\r\n"
         "\"Bad\"=\"open\r\n\"Tail\"=\"t\" junk\r\n\"Bare\"=text\r\n\"Kept\"=\"k\"\r\n"
         "[HKLM\\N]\r\n\"D\"=dword:FFFFFFFF\r\n\"Short\"=dword:7\r\n\"Nine\"=dword:123456789\r\n"
         "\"NotHex\"=dword:xyz\r\n\"B\"=hex:01,02,ff\r\n\"Q\"=hex(b):01,00,00,00,00,00,00,80\r\n"
         "\"X\"=hex(2):25,41,25,00\r\n\"Gap\"=hex:01,,02\r\n\"Wide\"=hex:123\r\n"
         "\"Open\"=hex(2:00\r\n\"Long\"=hex:01,02,\\\r\n  03,04,\\  \r\n\t05\r\n"
         "\"Path\"=hex(2):25,41,\\\r\n  25,00\r\n\"After\"=\"a\"\r\n"
         // A value set again keeps its place; =- deletes; sections of one key merge.
         "[HKLM\\M]\r\n\"One\"=\"1\"\r\n\"Two\"=\"2\"\r\n\"ONE\"=\"uno\"\r\n\"two\"=-\r\n"
         "[HKLM\\Other]\r\n[hklm\\m]\r\n\"Three\"=dword:00000007\r\n"
         "[HKLM\\SOFTWARE\\Gone\\Child]\r\n[HKLM\\SOFTWARE\\Gonest]\r\n[-HKLM\\SOFTWARE\\GONE]\r\n",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\App]\nZeta 1 C:\\<00>\n 1 C:\\a.exe<00>\n"
         "a\"b 1 say \"hi\" \\ back<00>\nRaw 1 C:\\dir<00>\nKept 1 k<00>\n"
         "[HKEY_LOCAL_MACHINE\\N]\nD 4 <FF><FF><FF><FF>\nShort 4 <07><00><00><00>\n"
         "B 3 <01><02><FF>\nQ 11 <01><00><00><00><00><00><00><80>\nX 2 %A%<00>\n"
         "Long 3 <01><02><03><04><05>\nPath 2 %A%<00>\nAfter 1 a<00>\n"
         "[HKEY_LOCAL_MACHINE\\M]\nOne 1 uno<00>\nThree 4 <07><00><00><00>\n"
         "[HKEY_LOCAL_MACHINE\\Other]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gonest]\n"},
        {"Windows Registry Editor Version 5.00\n[HKLM\\Software\\brio\\app]\n@ = \"x\"\n",
         "[HKEY_LOCAL_MACHINE\\Software\\brio\\app]\n 1 x<00>\n"},
        // Text and version 5 string data come out in Windows-1252.
        {Utf16File(u"Windows Registry Editor Version 5.00\r\n\r\n"
                   u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\\u00c9diteur]\r\n"
                   u"@=\"C:\\\\Prix \u20ac\\\\\u00e9.exe\"\r\n\"\u0100\"=\"\U0001F600\"\r\n"
                   u"\"Exp\"=hex(2):25,00,41,00,ac,20,25,00,00,00\r\n"),
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xC9"
         "diteur]\n 1 C:\\Prix <80>\\<E9>.exe<00>\n"
         "? 1 ?<00>\nExp 2 %A<80>%<00>\n"},
        // Only a first-line header makes a registry file.
        {"\r\n  REGEDIT4  \r\n[HKLM\\K]\r\n", "[HKEY_LOCAL_MACHINE\\K]\n"},
        {"REGEDIT5\n[HKLM\\K]\n", ""},
        {"Windows Registry Editor Version 6.00\n[HKLM\\K]\n", ""},
        {"[HKLM\\K]\nREGEDIT4\n", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        RegFile file;
        EXPECT_EQ(file.Parse(c.file), !c.dump.empty()) << c.file;
        EXPECT_EQ(Dump(file), c.dump);
    }
    EXPECT_TRUE(RegNamesEqual("\x9A\xFF\xE9", "\x8A\x9F\xC9"));  // š ÿ é against Š Ÿ É
}

}  // namespace
}  // namespace brio::test
