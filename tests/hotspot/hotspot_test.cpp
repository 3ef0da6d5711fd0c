#include <gtest/gtest.h>

#include "bitmap/picture_fixtures.h"

namespace {

using brio::GlobalHandle;
using brio::HotspotRecord;
using namespace brio::test;

// Builds the block of `records` behind a bare 58-byte picture: the status,
// and the block in *block. With failAfter, that allocation fails.
uint16_t Build(const std::vector<HotspotRecord>& records, Bytes* block = nullptr,
               long failAfter = 0) {
    GlobalHandle list = ListOf(records), picture = brio::PlatGlobalAlloc(brio::kGhnd, 58);
    brio::PutU32(brio::PlatGlobalLock(picture), brio::kPicHotspotOffset, 58);
    brio::PlatGlobalUnlock(picture);
    brio::FailAllocationAfter(failAfter);
    uint16_t status = brio::BuildHotspotBlock(&picture, list);
    brio::FailAllocationAfter(0);
    Bytes rec = Block(picture);
    EXPECT_EQ(rec.size(), 58 + U32(rec, brio::kPicHotspotSize));  // grown to fit exactly
    if (block) *block = Sub(rec, 58);
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
    return status;
}

// Parses an exact-size copy; the result and the records handed out.
int Parse(const Bytes& block, std::vector<HotspotRecord>* out = nullptr) {
    std::vector<HotspotRecord> records;
    Bytes copy(block);
    auto add = [](const HotspotRecord* r, void* to) {
        static_cast<std::vector<HotspotRecord>*>(to)->push_back(*r);
    };
    int result = brio::ParseHotspotBlock(copy.data(), copy.size(), add, &records);
    if (out) *out = records;
    return result;
}

TEST(SplitBinding, Parts) {
    struct Case {
        const char *binding, *context, *window, *file;
    } cases[] = {{"ctx > main @ other", "ctx", "main", "other"},
                 {"ctx @ other > main", "ctx", "main", "other"},
                 {"   ctx   ", "ctx", "", ""},
                 {"ctx>   @  ", "ctx", "", ""},
                 {">win", "", "win", ""},
                 {"a b@f g", "a b", "", "f g"},
                 {"", "", "", ""},
                 {"x>y>z", "x", "y>z", ""}};
    for (const auto& c : cases) {
        char ctx[256], window[256], file[256];
        EXPECT_EQ(brio::SplitBinding(c.binding, ctx, window, file), 1);
        EXPECT_EQ(std::string(ctx) + "|" + window + "|" + file,
                  std::string(c.context) + "|" + c.window + "|" + c.file);
    }
}

TEST(HotspotKind, FromTypeAndBack) {
    std::pair<int, int> typeKinds[] = {{227, 0}, {231, 0}, {235, 0}, {239, 0}, {138, 1}, {226, 1},
                                       {230, 1}, {200, 2}, {204, 2}, {0, 2},   {17, 2}};
    for (auto [type, kind] : typeKinds) EXPECT_EQ(brio::HotspotKind(uint8_t(type)), kind) << type;
    for (auto [kind, type] : {std::pair{0, 231}, {1, 230}, {2, 204}, {7, 204}, {-1, 204}})
        EXPECT_EQ(brio::HotspotTypeForKind(kind), type) << kind;
}

TEST(HotspotBlock, BuiltByteForByteAndReadBack) {
    std::vector<HotspotRecord> records = {
        Record(231, 1, 2, 11, 22, "topic_1"), Record(204, -5, 0, 5, 3, "JI(`a')"),
        Record(235, 0, 0, 1, 1, "ctx > main @ other", "n", 0),
        Record(138, 100, 200, 300, 400, "x", "", 9), Record(239, 0, 0, 2, 2, "ctx@f")};
    Bytes block;
    ASSERT_EQ(Build(records, &block), 0);
    // Version, count, extra bytes; entries of type, attribute, 0, left, top,
    // width, height and a value: the context's hash, or where its extra data
    // starts: a macro, or for a window jump flags (2 window, 4 file), the
    // context's hash, the window and the file; then name and binding each.
    Bytes expected =
        Hex("01 0500 1f000000"
            "e7 04 00 0100 0200 0a00 1400 4ff07212  cc 04 00 fbff 0000 0a00 0300 00000000"
            "eb 00 00 0000 0000 0100 0100 08000000  8a 09 00 6400 c800 c800 c800 00000000"
            "ef 04 00 0000 0000 0200 0200 18000000"
            "4a4928606127 2900  06 6f8f0000 6d61696e00 6f7468657200  04 6f8f0000 6600");
    std::string strings = std::string("") + '\0' + "topic_1" + '\0' + '\0' + "JI(`a')" + '\0' +
                          "n" + '\0' + "ctx > main @ other" + '\0' + '\0' + "x" + '\0' + '\0' +
                          "ctx@f" + '\0';
    expected.insert(expected.end(), strings.begin(), strings.end());
    EXPECT_EQ(block, expected);
    std::vector<HotspotRecord> back;
    EXPECT_EQ(Parse(block, &back), 1);
    EXPECT_EQ(back, records);
}

TEST(HotspotBlock, InvalidBlocksAreRefused) {
    Bytes good = Hex("01 0100 00000000 e7 04 00 fbff 0000 0a00 0200 00000000 6e6d00 6200");
    std::vector<HotspotRecord> recs;
    ASSERT_EQ(Parse(good, &recs), 1);
    EXPECT_EQ(recs, std::vector<HotspotRecord>{Record(231, -5, 0, 5, 2, "b", "nm")});
    Bytes version2 = good;
    version2[0] = 2;
    EXPECT_EQ(Parse(version2), 0);
    // Extra-data length near 2^32: the strings' start must not wrap.
    for (uint32_t extra : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 6u}) {
        Bytes b = good;
        Put32(b, {{3, extra}});
        EXPECT_EQ(Parse(b), 0) << extra;
    }
    for (size_t cut = 0; cut < good.size(); ++cut) EXPECT_EQ(Parse(Sub(good, 0, cut)), 0) << cut;
    // A string of 256 characters without a terminator in reach.
    Bytes longName = Sub(good, 0, 22);
    longName.insert(longName.end(), 256, 'a');
    longName.insert(longName.end(), {0, 0});
    EXPECT_EQ(Parse(longName), 0);
}

TEST(HotspotBlock, WhatTheFormatCannotHoldIsRefused) {
    struct Case {
        int32_t l, t, r, b;
        uint16_t status;
    } cases[] = {{-32768, -32768, -32768, -32768, 0},
                 {32767, 0, 32767, 0, 0},
                 {0, 0, 32767, 32767, 0},
                 {32768, 0, 32769, 1, 4},
                 {0, -32769, 1, 1, 4},
                 {0, 0, 32768, 1, 4},
                 {-20000, 0, 20000, 1, 4},
                 {0, 0, 1, -32769, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(Build({Record(231, c.l, c.t, c.r, c.b, "a")}), c.status) << c.l << "," << c.t;
    // Growing the picture fails: no memory, and the picture is kept as it was.
    EXPECT_EQ(Build({Record(231, 0, 0, 1, 1, "a")}, nullptr, 1), 8);
}

TEST(HotspotBlock, MoreThan65535HotspotsAreRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "the system's table of movable blocks holds fewer than 2 x 65,536 handles";
#endif
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65536, Record(231, 0, 0, 1, 1, "a"))), 4);
}

}  // namespace
