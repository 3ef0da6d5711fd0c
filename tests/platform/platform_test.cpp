// The platform layer: text and number rules, reads, registry files, file replacement.
#include <gtest/gtest.h>

#include <map>

#include "adt/hash.h"
#include "frame/frame.h"
#include "platform/platform.h"
#include "platform/regfile.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace brio::test {
namespace {

// Picture extents are scaled with it.
TEST(PlatformText, MulDivRoundsHalfAwayFromZeroAndFlagsOverflow) {
    struct Case {
        int32_t a, b, c, expected;
    } cases[] = {{5, 1, 2, 3},
                 {-5, 1, 2, -3},
                 {8, 1, 3, 3},
                 {-8, 1, -3, 3},
                 {1000, 2540, 96, 26458},
                 {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
                 {0x40000000, 4, 1, -1},
                 {1, 1, 0, -1},
                 {INT32_MIN, 1, 1, -1},
                 {-0x7FFFFFFF, 1, 1, -0x7FFFFFFF}};
    for (const auto& c : cases)
        EXPECT_EQ(PlatMulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

// Words match in any case through it; micro sign, sharp s, division sign stay.
TEST(PlatformText, CharUpperFollowsWindows1252) {
    std::map<int, int> capitals = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) capitals[c] = c - 0x20;
    for (int c = 'a'; c <= 'z'; ++c) capitals[c] = c - 0x20;
    for (int c = 1; c < 256; ++c) {
        int expected = capitals.count(c) ? capitals[c] : c;
        EXPECT_EQ(PlatCharUpper(static_cast<unsigned char>(c)), expected) << std::hex << c;
    }
}

TEST(PlatformFiles, ReadAtTakesExactCountsOrNothing) {
    TempDir dir;
    std::string path = dir.File("data.bin");
    ASSERT_TRUE(WriteFile(path, "0123456789"));
    UniqueFile in(PlatFileOpen(path.c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(FileLength(in.get()), 10);
    struct Case {
        uint64_t offset, count;
        bool read;
        std::string bytes;
    } cases[] = {{8, 2, true, "89"}, {0, 10, true, "0123456789"}, {8, 3, false, ""},
                 {10, 0, true, ""},  {0x80000000u, 1, false, ""}, {0, 0x80000000u, false, ""}};
    for (const auto& c : cases) {
        std::string buffer(16, '\0');
        EXPECT_EQ(ReadAt(in.get(), c.offset, &buffer[0], c.count), c.read) << c.offset;
        EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.offset;
    }
}

std::string gCaptured;

TEST(Frame, AssertionTextIsExactAndLineUnsigned) {
    SetDebugOutputHook([](const char* text) { gCaptured += text; });
    for (unsigned short line : {0, 123, 65535}) {
        gCaptured.clear();
        ReportAssertion(line, "SHG/HHS");
        std::string expected = "Assertion Failed: File SHG/HHS, Line " + std::to_string(line);
        EXPECT_EQ(gCaptured, expected + ".\r\n");
        EXPECT_STREQ(LastAssertionText(), gCaptured.c_str());
    }
    SetDebugOutputHook(nullptr);
}

TEST(ContextHash, KnownValues) {
    std::pair<const char*, uint32_t> cases[] = {
        {"abc", 32226},
        {"ABC", 32226},
        {"", 1},
        {"0x0000001F", 31},
        {"0x0000001f", 31},
        {"0x00000000", 0},           // taken as it is, 0 included
        {"0X0000001F", 1746347263},  // upper-case X: hashed
        {"0x1234567", 3275997350u},  // nine characters: hashed
        {"!._0", ((11u * 43 + 12) * 43 + 13) * 43 + 10},
        {" ", static_cast<uint32_t>(-16)},
        {"\x80", static_cast<uint32_t>(-128 - 48)},
        {"{", static_cast<uint32_t>('{' - 80)},
        {"0xDEADBEEF", 0xDEADBEEF},
    };
    for (auto [text, hash] : cases) EXPECT_EQ(ContextHash(text), hash) << text;
}

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

#ifndef _WIN32
bool WriteThrough(const std::string& path, const std::string& bytes, bool commit = true) {
    AtomicFile file;
    return file.Open(path.c_str()) && file.Write(bytes.data(), bytes.size()) &&
           (!commit || file.Commit());
}

struct stat Lstat(const std::string& path) {
    struct stat info = {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Links lead to the file they name; a file with other hard links is written
// in place, by AtomicFile and PlatReplaceFile alike; mode and owner stay.
TEST(FileReplacement, LinksHardLinksModeAndOwnerStay) {
    for (bool finished : {false, true}) {
        SCOPED_TRACE(finished ? "PlatReplaceFile" : "AtomicFile");
        TempDir dir;
        ASSERT_TRUE(WriteFile(dir.File("tgt.txt"), "old"));
        ASSERT_TRUE(WriteFile(dir.File("a.txt"), "old and longer"));
        ASSERT_EQ(::link(dir.File("a.txt").c_str(), dir.File("b.txt").c_str()), 0);
        ASSERT_EQ(::symlink("tgt.txt", dir.File("link.txt").c_str()), 0);
        ASSERT_EQ(::symlink("link.txt", dir.File("chain.txt").c_str()), 0);
        ASSERT_EQ(::symlink(dir.File("new.txt").c_str(), dir.File("dangling.txt").c_str()), 0);
        ASSERT_EQ(::chmod(dir.File("tgt.txt").c_str(), 0640), 0);
        bool root = ::geteuid() == 0;
        ASSERT_TRUE(!root || ::chown(dir.File("tgt.txt").c_str(), 1234, 5678) == 0);
        ino_t inode = Lstat(dir.File("a.txt")).st_ino;
        // What is written, and where the bytes must land.
        const std::pair<std::string, std::string> cases[] = {{"link.txt", "tgt.txt"},
                                                             {"chain.txt", "tgt.txt"},
                                                             {"dangling.txt", "new.txt"},
                                                             {"a.txt", "b.txt"}};
        for (const auto& [written, file] : cases) {
            if (finished) {
                ASSERT_TRUE(WriteFile(dir.File("work"), written));
                EXPECT_TRUE(PlatReplaceFile(dir.File("work").c_str(), dir.File(written).c_str()));
            } else {
                ASSERT_TRUE(WriteThrough(dir.File(written), written));
            }
            EXPECT_EQ(ReadFile(dir.File(file)), written);
        }
        struct stat info = Lstat(dir.File("tgt.txt"));
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_TRUE(!root || (info.st_uid == 1234u && info.st_gid == 5678u));
        EXPECT_EQ(Lstat(dir.File("a.txt")).st_ino, inode);
        // Abandoned, in place or beside: the old bytes stay, nothing is left.
        EXPECT_TRUE(WriteThrough(dir.File("a.txt"), "half", false));
        EXPECT_TRUE(WriteThrough(dir.File("tgt.txt"), "half", false));
        EXPECT_EQ(ReadFile(dir.File("b.txt")) + ReadFile(dir.File("tgt.txt")), "a.txtchain.txt");
        EXPECT_EQ(dir.Entries(),
                  (std::vector<std::string>{"a.txt", "b.txt", "chain.txt", "dangling.txt",
                                            "link.txt", "new.txt", "tgt.txt"}));
    }
}

// A link planted where the temporary file would go is never written through.
TEST(FileReplacement, LinkAtTheTemporaryNameIsNotFollowed) {
    TempDir dir;
    PlatCreate result = PlatCreate::Created;
    ASSERT_EQ(::symlink(dir.File("made").c_str(), dir.File("planted").c_str()), 0);
    EXPECT_EQ(PlatCreateExclusive(dir.File("planted"), &result), nullptr);
    EXPECT_EQ(result, PlatCreate::Exists);
    EXPECT_EQ(::access(dir.File("made").c_str(), F_OK), -1);
    // The temporary file is its owner's alone until it is complete.
    AtomicFile open;
    ASSERT_TRUE(WriteFile(dir.File("out.rtf"), "old"));
    ASSERT_TRUE(open.Open(dir.File("out.rtf").c_str()));
    struct stat info;
    ASSERT_EQ(::fstat(::fileno(open.Stream()), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// A read-only folder's writable file is written in place; past a size limit
// (SIGXFSZ ignored) the write fails and the old file stays whole, linked or not.
TEST(FileReplacement, RestrictedWritesKeepTheFileWhole) {
    enum { kReadOnlyFolder, kSizeLimit, kSizeLimitLinked };
    for (int c : {kReadOnlyFolder, kSizeLimit, kSizeLimitLinked}) {
        SCOPED_TRACE(c);
        TempDir dir;
        std::string folder = dir.File("ro"), path = dir.File("ro/f.txt");
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        ASSERT_TRUE(WriteFile(path, "old"));
        ASSERT_TRUE(c != kSizeLimitLinked || ::link(path.c_str(), dir.File("ro/b").c_str()) == 0);
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
        ASSERT_TRUE(::geteuid() != 0 || (::chown(folder.c_str(), 65534, 65534) == 0 &&
                                         ::chown(path.c_str(), 65534, 65534) == 0));
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c == kReadOnlyFolder ? 0555 : 0755), 0);
        int code = RunUnprivileged([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {4096, 4096};
            if (c != kReadOnlyFolder && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
            return WriteThrough(path, c ? std::string(100000, 'x') : "new") ? 0 : 1;
        });
        ::chmod(folder.c_str(), 0755);
        EXPECT_EQ(code, c == kReadOnlyFolder ? 0 : 1);
        EXPECT_EQ(ReadFile(path), c == kReadOnlyFolder ? "new" : "old");
        EXPECT_EQ(ListFiles(folder).size(), c == kSizeLimitLinked ? 2u : 1u);
    }
}

#endif

}  // namespace
}  // namespace brio::test
