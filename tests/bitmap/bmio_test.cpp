#include <gtest/gtest.h>

#include "bitmap/bmio.h"
#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio::test;

// OpenHotspotBitmap's status; nothing is given on failure.
uint16_t Open(const std::string& path, brio::OpenedPicture* pic) {
    uint16_t status = brio::OpenHotspotBitmap(path.c_str(), pic);
    EXPECT_TRUE(status == 0 || (pic->picture.record.empty() && pic->hotspots.empty())) << status;
    return status;
}

// ReadPictureFile's (or ReadGroupPicture's) picture; empty when refused.
brio::Picture ReadPicture(const std::string& bytes, int index = -1) {
    TempDir dir;
    EXPECT_TRUE(WriteFile(dir.File("pic"), bytes));
    brio::UniqueFile file(brio::PlatFileOpen(dir.File("pic").c_str(), "rb"));
    brio::Picture picture;
    brio::PictureRead read = index < 0 ? brio::ReadPictureFile(file.get(), &picture)
                                       : brio::ReadGroupPicture(file.get(), index, &picture);
    return read == brio::PictureRead::Ok ? picture : brio::Picture{};
}

// A group file of one 8-byte bitmap, edited.
std::string Group(void (*edit)(Stored&)) {
    Stored s;
    s.data = Bytes(8, 1);
    edit(s);
    return MakeGroupFile({BuildStored(s)});
}

TEST(OpenHotspotBitmap, StatusByFile) {
    std::string group = Group([](Stored&) {}), outOfFile = group, record = group.substr(8);
    std::string outOfOrder =
        MakeGroupFile(std::vector<Bytes>(2, Bytes(record.begin(), record.end())));
    Put32(outOfFile, {{4, 5000}});
    Put32(outOfOrder, {{8, 9}});  // the second before the first
    std::pair<std::string, uint16_t> cases[] = {
        {"lP" + group.substr(2), 0},  // capital P
        {MakeGroupFile({}), 4},
        {Group([](Stored& s) { s.type = 5; }), 4},
        {Group([](Stored& s) { s.width = 0; }), 4},
        {Group([](Stored& s) { s.bits = 2; }), 4},
        {Group([](Stored& s) {
             s = StoredMetafile(s.data, 8);
             s.mapMode = 7;
         }),
         4},
        {Group([](Stored& s) { s.hotspots = Hex("02 0000 00000000"); }), 8},  // version 2
        {outOfFile, 4},
        {outOfOrder, 4},
        {group.substr(0, group.size() - 3), 4},
        {MakeMetafile(0, 0, 1440, 720, 1440, "ab", 1), 4},  // checksum wrong
        {MakeMetafile(0, 0, 0, 720, 1440, "ab"), 4},
        {MakeMetafile(0, 0, 100, 100, 0, "ab"), 4}};
    TempDir dir;
    brio::OpenedPicture pic;
    for (const auto& [bytes, status] : cases) {
        ASSERT_TRUE(WriteFile(dir.File("pic"), bytes));
        EXPECT_EQ(Open(dir.File("pic"), &pic), status) << bytes.size();
    }
    EXPECT_EQ(Open("/nonexistent/dir/none.bmp", &pic), 100);
    // The last of six pictures starts inside the index: refused all the same.
    std::string inIndex =
        Str(Hex("6c70 0600 0600 c000 c000 02 10 0800 0400 0000 0000 1000 0000"
                "04000000 00000000"));
    EXPECT_TRUE(ReadPicture(inIndex, 5).record.empty());
}

// Packed monochrome: 16 x 2, two bytes a row, stored backwards.
const std::string kMono = [] {
    std::string mono(32, '\0');
    Put16(mono, {{0, 0x4146}, {2, 0x7352}, {4, 16}, {6, 2}, {26, 6}});
    return mono + std::string("\x11\x22\x33\x83\xAA\x01", 6);
}();

TEST(ReadPictureFile, OlderFormatsAreReadCompletely) {
    // Device-dependent 8 x 2, 2 bytes a row; packed monochrome as 1 x 1 cannot fit.
    std::string ddb(16, '\0'), monoTooSmall = kMono;
    Put16(ddb, {{0, 2}, {4, 8}, {6, 2}, {8, 2}, {10, 0x0101}});
    Put32(monoTooSmall, {{4, 0x00010001}});
    std::pair<std::string, Bytes> cases[] = {{ddb + "\x01\x02\x03\x04\x05", {1, 2, 3, 4}},
                                             {ddb + "\x01\x02\x03", {}},
                                             {kMono, {0x11, 0x22, 0x33, 0xAA}},
                                             {monoTooSmall, {}}};
    for (const auto& [file, data] : cases) {
        Bytes rec = Plain(ReadPicture(file).record);
        EXPECT_EQ(Sub(rec, 0, 6), data.empty() ? Bytes() : Bytes({5, 0, 4, 0, 0, 0}));
        EXPECT_EQ(Sub(rec, U32(rec, 6), 4), data) << file.size();  // type 5, 4 bytes of data
    }
}

// A picture record as the exports make it; the hotspots go behind the data.
brio::Picture MakePicture(uint16_t bits, int32_t width, int32_t height, const Bytes& table,
                          const Bytes& data) {
    Bytes rec(18);
    rec[0] = 6;
    uint32_t dataAt = uint32_t(58 + table.size()), size = uint32_t(data.size());
    Put32(rec, {{2, size}, {6, dataAt}, {14, dataAt + size}});
    Bytes dib = MakeDib(width, height, bits, table, data);
    Put32(dib, {{24, 96}, {28, 96}});
    Append(rec, dib);
    return brio::Picture{brio::PictureBytes(rec.begin(), rec.end()), {}};
}

// A hotspot and its block.
const std::vector<brio::HotspotRecord> kSpots = {Record(231, 0, 0, 3, 7, "topic_1", "n")};
const Bytes kBlock =
    Hex("01 0100 00000000 e7 04 00 0000 0000 0300 0700 4ff07212 6e00 746f7069635f3100");

// Short data gets the rows' zeros; packed data may pass the rows up to padding each row
// to 32 bits, where a save cuts it; the record gets 96 dots an inch and the hotspots
// behind the data; a save packs only when that is shorter.
TEST(Pictures, BitmapsExpandAndSaveInTheShortestForm) {
    struct Row {
        uint8_t packing;
        uint16_t bits;
        uint32_t width, height, important;
        const char *stored, *data;
        bool hotspotsFirst;
        uint8_t savedPacking;
        const char* saved;
    } rows[] = {{0, 1, 9, 2, 1, "0102", "0102 0000 0000 0000", false, 1, "820102 0600"},
                {0, 24, 3, 1, 0, "aaaaaa 0405060708090a0b0c0d", "aaaaaa 0405060708090a0b0c0d", true,
                 0, "aaaaaa 0405060708090a0b0c"},
                {1, 8, 4, 2, 0, "0eaa", "aaaaaaaa aaaaaaaa aaaaaaaa aaaa", true, 1, "0eaa"},
                {2, 4, 5, 2, 0, "02aa 0080", "aaaaaaaa aaaaaaaa aaaaaaaa", false, 1, "0caa"}};
    TempDir dir;
    std::string path = dir.File("a.shg");
    for (const Row& row : rows) {
        Stored s;
        s.packing = row.packing;
        s.bits = row.bits;
        s.width = row.width;
        s.height = row.height;
        s.colours = 2;
        s.important = row.important;
        s.table = Hex("00000000 ffffff00");
        s.data = Hex(row.stored);
        s.hotspots = kBlock;
        s.hotspotsFirst = row.hotspotsFirst;
        s.xRes = 300;
        Bytes want = Plain(MakePicture(s.bits, s.width, s.height, s.table, Hex(row.data)).record);
        Put32(want, {{10, uint32_t(kBlock.size())}, {54, row.important}});
        Append(want, kBlock);
        EXPECT_EQ(Expand(BuildStored(s)), want) << row.stored;
        brio::Picture pic{brio::PictureBytes(want.begin(), want.end()), {}};
        Put32(pic.record, {{42, 300}, {46, 200}});
        ASSERT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, kSpots), 0);
        s.packing = row.savedPacking;
        s.data = Hex(row.saved);
        s.yRes = 200;
        s.hotspotsFirst = false;
        EXPECT_EQ(ReadFile(path), MakeGroupFile({BuildStored(s)})) << row.stored;
    }
}

// Header fields in order, table, data; a failed save leaves that file as it was.
TEST(SaveHotspotBitmap, FileByteForByteAndKeptWhenASaveFails) {
    TempDir dir;
    std::string path = dir.File("a.shg");
    Bytes counting(32);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = uint8_t(i);
    brio::Picture pic = MakePicture(1, 8, 8, {0, 0, 0, 0, 255, 255, 255, 0}, counting), bad;
    EXPECT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, {}), 0);
    std::string saved = ReadFile(path);
    EXPECT_EQ(saved, Str(Hex("6c70 0100 08000000 06 00 c000 c000 02 02 1000 1000 0400 0000 4000 "
                             "0000 24000000 00000000 00000000 ffffff00 00010203 04050607 08090a0b "
                             "0c0d0e0f 10111213 14151617 18191a1b 1c1d1e1f")));
    pic = MakePicture(8, 4, 1, {}, {1, 2, 3, 4});
    std::vector<brio::HotspotRecord> wide = {Record(231, 0, 0, 40000, 0, "")};  // past 16 bits
    EXPECT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, wide), 4);
    EXPECT_EQ(brio::SaveHotspotBitmap(dir.File("none/x.shg").c_str(), &pic, {}), 3);
    EXPECT_EQ(brio::SaveHotspotBitmap(path.c_str(), &bad, {}), 4);
    EXPECT_EQ(brio::SaveHotspotBitmap(nullptr, &pic, {}), 4);
    EXPECT_EQ(ReadFile(path), saved);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.shg"});
}

// Allocations 1 to 3 failing throw (never "unreadable") and leave the picture empty;
// only a packed mono file's own record (not its scratch copy) is memory's fault.
TEST(Pictures, OutOfMemory) {
    Bytes stored = BuildStored(StoredMetafile({1, 2, 3}, 3));
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("mono"), kMono));
    brio::UniqueFile file(brio::PlatFileOpen(dir.File("mono").c_str(), "rb"));
    std::string results;
    for (long n = 1; n < 7; ++n) {
        brio::Picture picture;
        const char* result = "memory ";
        brio::ExportScope scope;  // where the test's operator new obeys the hook
        brio::FailAllocationAfter(n % 3 ? n % 3 : 3);
        try {
            bool ok = n > 3 ? brio::ReadPictureFile(file.get(), &picture) == brio::PictureRead::Ok
                            : brio::ExpandPicture(stored.data(), stored.size(), &picture) ==
                                  brio::PictureRead::Ok;
            result = ok ? "ok " : "unreadable ";
        } catch (const std::bad_alloc&) {
            if (!picture.record.empty() || !picture.bits.empty()) result = "changed ";
        }
        brio::FailAllocationAfter(0);
        results += result;
    }
    EXPECT_EQ(results, "memory memory ok memory unreadable ok ");
}

// A metafile (1 x 0.5 inches in hundredths of a millimetre) saved with hotspots.
TEST(SaveHotspotBitmap, MetafileByteForByte) {
    Bytes bits = Hex("0100090003");
    brio::Picture pic = ReadPicture(MakeMetafile(-720, 0, 720, 720, 1440, Str(bits)));
    Bytes head = Hex("0800 05000000 00000000 00000000 00000000 08000000 ec090000 f6040000");
    Append(head, Bytes(36, 0));
    EXPECT_EQ(Plain(pic.record), head);
    TempDir dir;
    ASSERT_EQ(brio::SaveHotspotBitmap(dir.File("f.shg").c_str(), &pic, kSpots), 0);
    EXPECT_EQ(ReadFile(dir.File("f.shg")),
              MakeGroupFile({BuildStored(StoredMetafile(bits, 5, kBlock))}));
    brio::OpenedPicture o;
    ASSERT_EQ(Open(dir.File("f.shg"), &o), 0);
    EXPECT_EQ(std::tuple(o.width, o.height, Plain(o.picture.bits)), std::tuple(2540, 1270, bits));
    EXPECT_EQ(o.hotspots, kSpots);
}

}  // namespace
