#include <gtest/gtest.h>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using brio::HotspotRecord;
using namespace brio::test;

// The block HotspotGetDIBBitmap makes of `dib`: image size set, pixels padded.
Bytes Block(Bytes dib, uint32_t image, size_t size = 0) {
    Put32(dib, {{20, image}});
    dib.resize(std::max(size, dib.size()));
    return dib;
}

// FileGetBitmap takes fewer forms than HotspotGetDIBBitmap; its resolutions are 0.
TEST(BitmapFiles, HotspotGetDIBBitmapAndFileGetBitmap) {
    Bytes eight = MakeDib(4, 2, 8, Hex("01020300 04050600 07080900"), Bytes(8, 2));
    Bytes core = Hex("0c000000 0400 0200 0100 0100 000000 010203 0303030303030303");
    Bytes wide = MakeDib(4, 2, 1, Hex("00000000 01020300"), Bytes(8, 3));  // widened
    Put32(wide, {{20, 8}, {24, 0}, {28, 0}});
    Bytes gap = MakeDib(4, 1, 8, Hex("01020300 04050600"), {9, 8, 7, 6}, 40, 0, 2);
    std::string gapFile =
        MakeBmp(MakeDib(4, 1, 8, Hex("01020300 04050600 7777"), {9, 8, 7, 6}, 40, 0, 2), 0, 64);
    Bytes rle = MakeDib(4, 2, 8, Bytes(1024, 5), Bytes(8, 1), 40, 1, 0), rleWant = Block(rle, 8);
    Put32(rleWant, {{32, 256}});
    Bytes top = MakeDib(4, -2, 24, {}, Bytes(24, 1)), v4 = MakeDib(4, 2, 24, {}, Bytes(24, 1), 108);
    Bytes fields = MakeDib(4, 2, 16, Hex("007c0000 e0030000 1f000000"), Bytes(16, 0x71), 40, 3, 0);
    Bytes lying = MakeDib(30000, 30000, 24, {}, Bytes(24, 1)), cut = MakeDib(4, 2, 8, {}, {1});
    Put32(cut, {{32, 10}});
    std::string notBm = MakeBmp(top), longHeader = MakeBmp(MakeDib(4, 2, 24, {}, {1}, 124));
    notBm[1] = 'A';
    // HotspotGetDIBBitmap's result and block; whether FileGetBitmap opens the file.
    std::tuple<const char*, std::string, int32_t, bool, Bytes> cases[] = {
        {"8 bits, colours 3", MakeBmp(eight, 12), 0, true, Block(eight, 8)},
        {"core header", MakeBmp(core, 6), 0, true, wide},
        {"short file padded", MakeBmp(MakeDib(3, 2, 24, {}, {1, 2, 3, 4, 5})), 0, true,
         Block(MakeDib(3, 2, 24, {}, {1, 2, 3, 4, 5}), 24, 64)},
        {"gap before the pixels", gapFile, 0, true, Block(gap, 4)},
        {"bits offset past the end", MakeBmp(eight, 12, 5000), 0, false, Block(eight, 8)},
        {"bits offset in the header", MakeBmp(eight, 12, 20), 0, false, Block(eight, 8)},
        {"top-down", MakeBmp(top), 0, false, Block(top, 24)},
        {"bit-field masks", MakeBmp(fields, 12), 0, false, Block(fields, 16)},
        {"run-length", MakeBmp(rle, 1024), 0, false, rleWant},
        {"header 108", MakeBmp(v4), 0, false, Block(v4, 24)},
        {"table past the file", MakeBmp(cut), 2009, false, {}},
        {"lying dimensions", MakeBmp(lying), 2009, false, {}},
        {"not BM", notBm, 2009, false, {}},
        {"header cut short", longHeader.substr(0, 60), 2009, false, {}},
        {"empty", "", 2009, false, {}}};
    TempDir dir;
    std::string path = dir.File("a.bmp");
    for (const auto& [name, file, result, opens, block] : cases) {
        ASSERT_TRUE(WriteFile(path, file));
        BrioHostClipboardClear();
        EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), result) << name;
        Bytes dib = Clipboard();
        EXPECT_EQ(dib, block) << name;
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), opens ? 0 : 1) << name;
        if (!opens) continue;
        Put32(dib, {{24, 0}, {28, 0}});
        EXPECT_EQ(Clipboard(), dib) << name;
    }
    std::string missingFile = dir.File("missing.bmp");
    for (const char* missing : {missingFile.c_str(), static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(HotspotGetDIBBitmap(missing), 2001);
        EXPECT_EQ(FileGetBitmap(missing, 1), 1);
        EXPECT_EQ(FileGetBitmap(missing, 0), 0);
    }
}

TEST(FileGetBitmap, GroupFilesAndMetafiles) {
    Stored s;  // the first of two pictures: its own data and hotspots
    s.packing = 1;
    s.colours = 2;
    s.table = {1, 2, 3, 0, 4, 5, 6, 0};
    s.data = {0x04, 0x01, 0x04, 0x02};
    s.hotspots =
        Hex("01 0200 00000000  e6 04 00 0a00 0b00 0500 0600 00000000"
            "cc 04 00 1400 1500 0500 0600 00000000  00 706f70757000 00 4d6163726f282900");
    Stored second, grey;  // a 1-bit picture without its table gets black and white
    grey.bits = 1;
    grey.width = 8;
    grey.height = 1;
    second.data = grey.data = {0xF0, 0, 0, 0};
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s), BuildStored(second)})));
    ASSERT_TRUE(WriteFile(dir.File("grey.shg"), MakeGroupFile({BuildStored(grey)})));
    ASSERT_TRUE(WriteFile(dir.File("m.wmf"), MakeMetafile(0, 0, 1440, 1440, 1440, "xy")));
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(dir.File("g.shg").c_str(), 0);
    // 96 pixels an inch; the table and the rows, unpacked.
    EXPECT_EQ(Clipboard(), Hex("28000000 04000000 02000000 0100 0800 00000000 08000000 60000000"
                               "60000000 02000000 00000000 01020300 04050600 01010101 02020202"));
    std::vector<Hotspot> want = {{11, 17, 10, 15, 1, "popup"}, {21, 27, 20, 25, 2, "Macro()"}};
    EXPECT_EQ(Drain(handle), want);
    EXPECT_EQ(
        FileGetHotspot(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(FileGetBitmap(dir.File("grey.shg").c_str(), 1), 0);  // 0 is success when releasing
    EXPECT_EQ(Sub(Clipboard(), 32), Hex("02000000 00000000 00000000 ffffff00 f0000000"));
    // A metafile puts nothing on the clipboard.
    Bytes before = MakeDib(1, 1, 1, {}, {0, 0, 0, 0});
    ASSERT_EQ(BrioHostClipboardSetDib(before.data(), before.size()), 0);
    handle = FileGetBitmap(dir.File("m.wmf").c_str(), 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Clipboard(), before);
    EXPECT_TRUE(Drain(handle).empty());
}

TEST(FileSetBitmap, ClipboardBitmapsAreCheckedAndRoundTripWithHotspots) {
    Bytes rows = {1, 1, 1, 1, 2, 2, 2, 2}, flipped = {2, 2, 2, 2, 1, 1, 1, 1};
    Bytes masks555 = Hex("007c0000 e0030000 1f000000"),
          masks565 = Hex("00f80000 e0070000 1f000000");
    Bytes v5Fields = MakeDib(2, 2, 16, {}, rows, 124, 3, 0);
    Bytes wrongSize = MakeDib(1, 2, 24, {}, rows), negativeDensity = wrongSize;
    std::copy(masks555.begin(), masks555.end(), v5Fields.begin() + 40);  // inside the header
    Put32(wrongSize, {{20, 1}});                                   // computed from the rows instead
    Put32(negativeDensity, {{24, 0xFFFFFFFF}, {28, 0x80000000}});  // kept as 0
    // The pixels as read back (empty: refused) and the colours.
    std::tuple<const char*, Bytes, Bytes, uint32_t> cases[] = {
        {"bottom-up", MakeDib(1, 2, 24, {}, rows), rows, 0},
        {"top-down is flipped", MakeDib(1, -2, 24, {}, rows), flipped, 0},
        {"124-byte header", MakeDib(4, 2, 8, {7, 7, 7, 0}, rows, 124, 0, 1), rows, 1},
        {"bit fields 555", MakeDib(2, 2, 16, masks555, rows, 40, 3, 0), rows, 0},
        {"bit fields 565", MakeDib(2, 2, 16, masks565, rows, 40, 3, 0), {}, 0},
        {"bit fields in a 124-byte header", v5Fields, rows, 0},
        {"colours 0 at 8 bits", MakeDib(4, 2, 8, Bytes(1024, 0x10), rows, 40, 0, 0), rows, 256},
        {"image size wrong", wrongSize, rows, 0},
        {"negative resolution", negativeDensity, rows, 0},
        {"run-length compressed", MakeDib(4, 2, 8, {}, rows, 40, 1, 0), {}, 0},
        {"core header", MakeDib(4, 2, 8, {}, rows, 12, 0, 0), {}, 0},
        {"block too short", MakeDib(1, 2, 24, {}, Bytes(7, 1)), {}, 0},
        {"table too short", MakeDib(4, 2, 8, Bytes(8, 0), rows, 40, 0, 4), {}, 0},
        {"three bits a pixel", MakeDib(4, 2, 3, {}, rows), {}, 0},
        {"zero width", MakeDib(0, 2, 8, {}, rows), {}, 0}};
    // Any kind but 0 and 1 is a macro; bindings are cut to 255.
    std::string longBinding(300, 'b');
    std::vector<Hotspot> spots = {{0, 10, 0, 10, 7, "Macro(1)"}, {-3, 3, -4, 4, 1, longBinding}};
    std::vector<Hotspot> want = {{0, 10, 0, 10, 2, "Macro(1)"},
                                 {-3, 3, -4, 4, 1, Str(Bytes(255, 'b'))}};
    TempDir dir;
    std::string path = dir.File("v.shg");
    for (const auto& [name, dib, pixels, colours] : cases) {
        ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0) << name;
        HotspotFile* f = FileSetBitmap(path.c_str());
        EXPECT_EQ(f != nullptr, !pixels.empty()) << name;
        if (!f) continue;
        for (const auto& h : spots)
            FileSetHotspot(f, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str());
        EXPECT_EQ(FileWriteHotspots(f), 0) << name;
        EXPECT_EQ(FileWriteHotspots(f), 4);  // the path is gone
        EXPECT_EQ(FileCleanup(f), 0);
        BrioHostClipboardClear();
        EXPECT_EQ(Drain(FileGetBitmap(path.c_str(), 0)), want) << name;
        Bytes back = MakeDib(U32(dib, 4), 2, brio::GetU16(dib.data(), 14),
                             Sub(dib, U32(dib, 0), 4 * colours), pixels, 40, 0, colours);
        Put32(back, {{20, uint32_t(pixels.size())}, {24, 96}, {28, 96}});
        EXPECT_EQ(Clipboard(), back) << name;
    }
}

TEST(HotspotExports, Refusals) {
    TempDir dir;
    std::string path = dir.File("a.bmp");
    Bytes dib = MakeDib(4, 2, 24, {}, Bytes(24, 7));
    ASSERT_TRUE(WriteFile(path, MakeBmp(dib)));
    // A handle from FileGetBitmap has no pasted picture and no path.
    auto* g = reinterpret_cast<HotspotFile*>(FileGetBitmap(path.c_str(), 0));
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(FileSetHotspot(g, 0, 1, 0, 1, 0, "x"), 0);
    EXPECT_EQ(FileWriteHotspots(g), 4);
    EXPECT_EQ(FileCleanup(g), 0);
    BrioHostClipboardClear();  // no clipboard bitmap, no handle
    EXPECT_EQ(FileSetBitmap(dir.File("k.shg").c_str()), nullptr);
    EXPECT_EQ(FileWriteHotspots(nullptr), 4);
    EXPECT_EQ(FileCleanup(nullptr), 0);
#ifndef _WIN32  // the real clipboard cannot be held busy from the same thread
    ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0);
    ASSERT_TRUE(brio::ClipboardOpen());  // someone else holds it
    EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), 2009);
    EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 1);
    EXPECT_EQ(FileSetBitmap("x.shg"), nullptr);
    brio::ClipboardClose();
    EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 0);
#endif
}

// Builds the block behind a bare 58-byte picture: the status, and the block.
uint16_t Build(const std::vector<HotspotRecord>& records, Bytes* block = nullptr) {
    brio::Picture picture{brio::PictureBytes(58), {}};
    picture.SetField(brio::kPicHotspotOffset, 58);
    uint16_t status = brio::AttachHotspotBlock(&picture, records);
    Bytes rec = Plain(picture.record);
    EXPECT_EQ(rec.size(), 58 + U32(rec, brio::kPicHotspotSize));  // grown to fit exactly
    if (block) *block = Sub(rec, 58);
    return status;
}

// Parses an exact-size copy: the records read, {} when refused.
std::vector<HotspotRecord> Parse(const Bytes& block) {
    std::vector<HotspotRecord> records;
    Bytes copy(block);
    bool read = brio::ParseHotspotBlock(copy.data(), copy.size(), &records);
    EXPECT_EQ(read, !records.empty());
    return records;
}

TEST(SplitBinding, Parts) {
    for (auto [binding, parts] : {std::pair<const char*, std::string>{"x @ f > w", "x|w|f"},
                                  {"x>y>z", "x|y>z|"},
                                  {"  a b  ", "a b||"}}) {
        char ctx[256], window[256], file[256];
        EXPECT_EQ(brio::SplitBinding(binding, ctx, window, file), 1);
        EXPECT_EQ(std::string(ctx) + "|" + window + "|" + file, parts) << binding;
    }
}

// Only the low two bits of the type tell the kind.
TEST(HotspotKind, FromType) {
    for (auto [type, kind] : {std::pair{227, 0}, {239, 0}, {138, 1}, {226, 1}, {200, 2}, {17, 2}})
        EXPECT_EQ(brio::HotspotKind(uint8_t(type)), kind) << type;
}

TEST(HotspotBlock, BuiltByteForByteAndReadBack) {
    std::vector<HotspotRecord> records = {
        Record(231, 1, 2, 11, 22, "topic_1"), Record(204, -5, 0, 5, 3, "JI(`a')"),
        Record(235, 0, 0, 1, 1, "ctx > main @ other", "n", 0),
        Record(138, 100, 200, 300, 400, "x", "", 9), Record(239, 0, 0, 2, 2, "ctx@f")};
    Bytes block;
    ASSERT_EQ(Build(records, &block), 0);
    // Header, entries, extra data (macros; window jumps' flags, hash, window, file), strings.
    Bytes expected =
        Hex("01 0500 1f000000"
            "e7 04 00 0100 0200 0a00 1400 4ff07212  cc 04 00 fbff 0000 0a00 0300 00000000"
            "eb 00 00 0000 0000 0100 0100 08000000  8a 09 00 6400 c800 c800 c800 00000000"
            "ef 04 00 0000 0000 0200 0200 18000000"
            "4a4928606127 2900  06 6f8f0000 6d61696e00 6f7468657200  04 6f8f0000 6600"
            "00 746f7069635f3100 00 4a49286061272900 6e00 637478203e206d61696e204020"
            "6f746865720000 7800 00 637478406600");
    EXPECT_EQ(block, expected);
    EXPECT_EQ(Parse(block), records);
}

TEST(HotspotBlock, InvalidBlocksAndWhatTheFormatCannotHoldAreRefused) {
    Bytes good = Hex("01 0100 00000000 e7 04 00 fbff 0000 0a00 0200 00000000 6e6d00 6200");
    ASSERT_EQ(Parse(good).size(), 1u);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_TRUE(Parse(Sub(good, 0, cut)).empty()) << cut;
    // Extra-data length near 2^32: the strings' start must not wrap.
    for (uint32_t extra : {0xFFFFFFFFu, 6u}) {
        Bytes b = good;
        Put32(b, {{3, extra}});
        EXPECT_TRUE(Parse(b).empty()) << extra;
    }
    // A string of 256 characters without a terminator in reach.
    Bytes longName = Sub(good, 0, 22);
    longName.insert(longName.end(), 256, 'a');
    longName.insert(longName.end(), {0, 0});
    EXPECT_TRUE(Parse(longName).empty());
    // Left, top, right, bottom and the status.
    std::tuple<int32_t, int32_t, int32_t, int32_t, uint16_t> cases[] = {
        {-32768, -32768, -32768, -32768, 0},
        {0, 0, 32767, 32767, 0},
        {32768, 0, 32769, 1, 4},
        {0, -32769, 1, 1, 4},
        {-20000, 0, 20000, 1, 4},
        {0, 0, 1, -32769, 4}};
    for (auto [l, t, r, b, status] : cases)
        EXPECT_EQ(Build({Record(231, l, t, r, b, "a")}), status) << l << "," << t;
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65535, Record(231, 0, 0, 1, 1, "a"))), 0);
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65536, Record(231, 0, 0, 1, 1, "a"))), 4);
}

}  // namespace
