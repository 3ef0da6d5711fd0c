#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "adt/hash.h"
#include "adt/ll.h"
#include "bitmap/picture.h"
#include "hotspot/hotspot.h"

namespace {

using Bytes = std::vector<uint8_t>;
using brio::GlobalHandle;
using brio::HotspotRecord;

HotspotRecord Make(uint8_t type, uint8_t attr, int32_t l, int32_t t, int32_t r, int32_t b,
                   const std::string& binding, const std::string& name = "") {
    HotspotRecord rec;
    std::memset(&rec, 0, sizeof rec);
    std::strncpy(rec.name, name.c_str(), 255);
    std::strncpy(rec.binding, binding.c_str(), 255);
    rec.type = type;
    rec.attribute = attr;
    rec.left = l;
    rec.top = t;
    rec.right = r;
    rec.bottom = b;
    return rec;
}

// Builds the block of `records` behind a bare 58-byte picture; gives the
// status and the block (empty when none); with failAfter, that allocation
// fails while building.
uint16_t Build(const std::vector<HotspotRecord>& records, Bytes* block = nullptr,
               GlobalHandle* keep = nullptr, long failAfter = 0) {
    GlobalHandle list = brio::ListCreate();
    for (const auto& r : records) EXPECT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
    GlobalHandle picture = brio::PlatGlobalAlloc(brio::kGhnd, 58);
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(picture));
    p[0] = 6;
    brio::PutU32(p, brio::kPicHotspotOffset, 58);
    brio::PlatGlobalUnlock(picture);
    brio::FailAllocationAfter(failAfter);
    uint16_t status = brio::BuildHotspotBlock(&picture, list);
    brio::FailAllocationAfter(0);
    p = static_cast<uint8_t*>(brio::PlatGlobalLock(picture));
    uint32_t size = brio::GetU32(p, brio::kPicHotspotSize);
    EXPECT_EQ(brio::PlatGlobalSize(picture), 58 + size);
    if (block) block->assign(p + 58, p + 58 + size);
    brio::PlatGlobalUnlock(picture);
    brio::ListDestroy(list);
    if (keep)
        *keep = picture;
    else
        brio::PlatGlobalFree(picture);
    return status;
}

void Entry(Bytes& b, uint8_t type, uint8_t attr, int16_t l, int16_t t, int16_t w, int16_t h,
           uint32_t value) {
    b.insert(b.end(), {type, attr, 0});
    for (int16_t v : {l, t, w, h}) b.insert(b.end(), {uint8_t(v), uint8_t(uint16_t(v) >> 8)});
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Append(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}

int Parse(const Bytes& block, std::vector<HotspotRecord>* out = nullptr) {
    std::vector<HotspotRecord> records;
    Bytes copy(block);
    int result = brio::ParseHotspotBlock(
        copy.data(), copy.size(),
        [](const HotspotRecord* r, void* ctx) {
            static_cast<std::vector<HotspotRecord>*>(ctx)->push_back(*r);
        },
        &records);
    if (out) *out = records;
    return result;
}

TEST(SplitBinding, Parts) {
    struct Case {
        const char *binding, *context, *window, *file;
    } cases[] = {
        {"ctx > main @ other", "ctx", "main", "other"},
        {"ctx @ other > main", "ctx", "main", "other"},
        {"   ctx   ", "ctx", "", ""},
        {"ctx>", "ctx", "", ""},
        {"ctx>   @  ", "ctx", "", ""},
        {">win", "", "win", ""},
        {"a b@f g", "a b", "", "f g"},
        {"", "", "", ""},
        {"x>y>z", "x", "y>z", ""},
    };
    for (const auto& c : cases) {
        char ctx[256], window[256], file[256];
        EXPECT_EQ(brio::SplitBinding(c.binding, ctx, window, file), 1);
        EXPECT_STREQ(ctx, c.context) << c.binding;
        EXPECT_STREQ(window, c.window) << c.binding;
        EXPECT_STREQ(file, c.file) << c.binding;
    }
}

TEST(HotspotKind, FromTypeAndBack) {
    for (auto [type, kind] : {std::pair{227, 0}, {231, 0}, {235, 0}, {239, 0}, {138, 1}, {226, 1},
                              {230, 1}, {200, 2}, {204, 2}, {0, 2}, {17, 2}})
        EXPECT_EQ(brio::HotspotKind(uint8_t(type)), kind) << type;
    for (auto [kind, type] : {std::pair{0, 231}, {1, 230}, {2, 204}, {7, 204}, {-1, 204}})
        EXPECT_EQ(brio::HotspotTypeForKind(kind), type) << kind;
}

TEST(HotspotBlock, BuiltByteForByteAndReadBack) {
    std::vector<HotspotRecord> records = {
        Make(231, 4, 1, 2, 11, 22, "topic_1"),
        Make(204, 4, -5, 0, 5, 3, "JI(`a')"),
        Make(235, 0, 0, 0, 1, 1, "ctx > main @ other", "n"),
        Make(138, 9, 100, 200, 300, 400, "x"),
        Make(239, 4, 0, 0, 2, 2, "ctx>"),
    };
    Bytes block;
    GlobalHandle picture = nullptr;
    ASSERT_EQ(Build(records, &block, &picture), 0);
    Bytes hash(4);
    brio::PutU32(hash.data(), 0, brio::ContextHash("ctx"));
    Bytes extra;
    Append(extra, std::string("JI(`a')") + '\0' + '\x06');
    extra.insert(extra.end(), hash.begin(), hash.end());
    Append(extra, std::string("main") + '\0' + "other" + '\0' + '\0');  // "ctx>": none
    extra.insert(extra.end(), hash.begin(), hash.end());
    Bytes expected = {1, 5, 0, uint8_t(extra.size()), 0, 0, 0};
    Entry(expected, 231, 4, 1, 2, 10, 20, brio::ContextHash("topic_1"));
    Entry(expected, 204, 4, -5, 0, 10, 3, 0);
    Entry(expected, 235, 0, 0, 0, 1, 1, 8);
    Entry(expected, 138, 9, 100, 200, 200, 200, 0);
    Entry(expected, 239, 4, 0, 0, 2, 2, 24);
    expected.insert(expected.end(), extra.begin(), extra.end());
    Append(expected, std::string("") + '\0' + "topic_1" + '\0' + '\0' + "JI(`a')" + '\0' + "n" +
                         '\0' + "ctx > main @ other" + '\0' + '\0' + "x" + '\0' + '\0' + "ctx>" +
                         '\0');
    EXPECT_EQ(block, expected);

    std::vector<HotspotRecord> back;
    EXPECT_EQ(Parse(block, &back), 1);
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(std::memcmp(&back[i], &records[i], sizeof(HotspotRecord)), 0) << i;
    // Through the picture: the list comes back in the same order.
    GlobalHandle list = brio::BuildHotspotList(picture);
    ASSERT_NE(list, nullptr);
    size_t i = 0;
    for (auto node = brio::ListNext(list, nullptr); node && i < records.size();
         node = brio::ListNext(list, node), ++i) {
        HotspotRecord r;
        brio::CopyHotspot(node, &r);
        EXPECT_STREQ(r.binding, records[i].binding);
    }
    EXPECT_EQ(brio::ListCount(list), records.size());
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
}

TEST(HotspotBlock, InvalidBlocksAreRefused) {
    Bytes good = {1, 1, 0, 0, 0, 0, 0};
    Entry(good, 231, 4, -5, 0, 10, 2, 0);
    Append(good, std::string("nm") + '\0' + "b" + '\0');
    std::vector<HotspotRecord> recs;
    ASSERT_EQ(Parse(good, &recs), 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].left, -5);
    EXPECT_EQ(recs[0].right, 5);
    EXPECT_EQ(recs[0].bottom, 2);
    EXPECT_STREQ(recs[0].name, "nm");
    Bytes version2 = good;
    version2[0] = 2;
    EXPECT_EQ(Parse(version2), 0);
    // Extra-data length near 2^32: the strings' start must not wrap.
    for (uint32_t extra : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 6u}) {
        Bytes b = good;
        brio::PutU32(b.data(), 3, extra);
        EXPECT_EQ(Parse(b), 0) << extra;
    }
    for (size_t cut = 22; cut < good.size(); ++cut)
        EXPECT_EQ(Parse(Bytes(good.begin(), good.begin() + cut)), 0) << cut;
    // A string of 256 characters without a terminator in reach.
    Bytes longName = {1, 1, 0, 0, 0, 0, 0};
    Entry(longName, 231, 4, 0, 0, 1, 1, 0);
    longName.insert(longName.end(), 256, 'a');
    longName.insert(longName.end(), {0, 0});
    EXPECT_EQ(Parse(longName), 0);
}

TEST(HotspotBlock, WhatTheFormatCannotHoldIsRefused) {
    struct Case {
        int32_t l, t, r, b;
        uint16_t status;
    } cases[] = {
        {-32768, -32768, -32768, -32768, 0},
        {32767, 0, 32767, 0, 0},
        {0, 0, 32767, 32767, 0},
        {32768, 0, 32769, 1, 4},
        {0, -32769, 1, 1, 4},
        {0, 0, 32768, 1, 4},
        {-20000, 0, 20000, 1, 4},
        {0, 0, 1, -32769, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Build({Make(231, 4, c.l, c.t, c.r, c.b, "a")}), c.status) << c.l << "," << c.t;
    // Growing the picture fails: no memory, and the picture is kept as it was.
    EXPECT_EQ(Build({Make(231, 4, 0, 0, 1, 1, "a")}, nullptr, nullptr, 1), 8);
}

TEST(HotspotBlock, MoreThan65535HotspotsAreRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "the system's table of movable blocks holds fewer than 2 x 65,536 handles";
#endif
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65536, Make(231, 4, 0, 0, 1, 1, "a"))), 4);
}

}  // namespace
