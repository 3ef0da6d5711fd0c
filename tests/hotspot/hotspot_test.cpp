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

GlobalHandle MakeList(const std::vector<HotspotRecord>& records) {
    GlobalHandle list = brio::ListCreate();
    for (const auto& r : records) EXPECT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
    return list;
}

// A bare picture of 58 bytes whose hotspot offset is its end.
GlobalHandle BarePicture() {
    GlobalHandle h = brio::PlatGlobalAlloc(brio::kGhnd, 58);
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(h));
    p[0] = 6;
    brio::PutU32(p, brio::kPicHotspotOffset, 58);
    brio::PlatGlobalUnlock(h);
    return h;
}

Bytes BlockOf(GlobalHandle picture) {
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(picture));
    uint32_t size = brio::GetU32(p, brio::kPicHotspotSize);
    uint32_t at = brio::GetU32(p, brio::kPicHotspotOffset);
    Bytes out(p + at, p + at + size);
    brio::PlatGlobalUnlock(picture);
    return out;
}

void Append(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}
void Append32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Entry(Bytes& b, uint8_t type, uint8_t attr, int16_t l, int16_t t, int16_t w, int16_t h,
           uint32_t value) {
    b.push_back(type);
    b.push_back(attr);
    b.push_back(0);
    for (int16_t v : {l, t, w, h}) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    Append32(b, value);
}

std::vector<HotspotRecord> Parse(const Bytes& block, int* result) {
    std::vector<HotspotRecord> out;
    Bytes copy(block);
    *result = brio::ParseHotspotBlock(
        copy.data(), copy.size(),
        [](const HotspotRecord* r, void* ctx) {
            static_cast<std::vector<HotspotRecord>*>(ctx)->push_back(*r);
        },
        &out);
    return out;
}

TEST(SplitBinding, Parts) {
    struct Case {
        const char* binding;
        const char* context;
        const char* window;
        const char* file;
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
    struct Case {
        uint8_t type;
        int kind;
    } cases[] = {{227, 0}, {231, 0}, {235, 0}, {239, 0}, {138, 1}, {226, 1},
                 {230, 1}, {200, 2}, {204, 2}, {0, 2},   {17, 2}};
    for (const auto& c : cases) EXPECT_EQ(brio::HotspotKind(c.type), c.kind) << int(c.type);
    EXPECT_EQ(brio::HotspotTypeForKind(0), 231);
    EXPECT_EQ(brio::HotspotTypeForKind(1), 230);
    EXPECT_EQ(brio::HotspotTypeForKind(2), 204);
    EXPECT_EQ(brio::HotspotTypeForKind(7), 204);
    EXPECT_EQ(brio::HotspotTypeForKind(-1), 204);
}

TEST(HotspotBlock, BuiltByteForByteAndReadBack) {
    std::vector<HotspotRecord> records = {
        Make(231, 4, 1, 2, 11, 22, "topic_1"),
        Make(204, 4, -5, 0, 5, 3, "JI(`a')"),
        Make(235, 0, 0, 0, 1, 1, "ctx > main @ other", "n"),
        Make(138, 9, 100, 200, 300, 400, "x"),
        Make(239, 4, 0, 0, 2, 2, "ctx>"),
    };
    GlobalHandle list = MakeList(records);
    GlobalHandle picture = BarePicture();
    ASSERT_EQ(brio::BuildHotspotBlock(&picture, list), 0);

    Bytes extra;
    Append(extra, std::string("JI(`a')") + '\0');
    extra.push_back(6);
    Append32(extra, brio::ContextHash("ctx"));
    Append(extra, std::string("main") + '\0' + "other" + '\0');
    extra.push_back(0);  // "ctx>": no window, no file
    Append32(extra, brio::ContextHash("ctx"));
    Bytes expected = {1, 5, 0};
    Append32(expected, static_cast<uint32_t>(extra.size()));
    Entry(expected, 231, 4, 1, 2, 10, 20, brio::ContextHash("topic_1"));
    Entry(expected, 204, 4, -5, 0, 10, 3, 0);
    Entry(expected, 235, 0, 0, 0, 1, 1, 8);
    Entry(expected, 138, 9, 100, 200, 200, 200, 0);
    Entry(expected, 239, 4, 0, 0, 2, 2, 24);
    expected.insert(expected.end(), extra.begin(), extra.end());
    Append(expected, std::string("") + '\0' + "topic_1" + '\0' + '\0' + "JI(`a')" + '\0' + "n" +
                         '\0' + "ctx > main @ other" + '\0' + '\0' + "x" + '\0' + '\0' + "ctx>" +
                         '\0');
    Bytes block = BlockOf(picture);
    EXPECT_EQ(block, expected);
    EXPECT_EQ(brio::PlatGlobalSize(picture), 58 + expected.size());

    int result = 0;
    std::vector<HotspotRecord> back = Parse(block, &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(std::memcmp(&back[i], &records[i], sizeof(HotspotRecord)), 0) << i;

    // Through the picture: the list comes back in the same order.
    GlobalHandle list2 = brio::BuildHotspotList(picture);
    ASSERT_NE(list2, nullptr);
    size_t i = 0;
    for (auto node = brio::ListNext(list2, nullptr); node;
         node = brio::ListNext(list2, node), ++i) {
        HotspotRecord r;
        brio::CopyHotspot(node, &r);
        ASSERT_LT(i, records.size());
        EXPECT_STREQ(r.binding, records[i].binding);
    }
    EXPECT_EQ(i, records.size());
    brio::ListDestroy(list2);
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
}

TEST(HotspotBlock, InvalidBlocksAreRefused) {
    Bytes good = {1, 1, 0, 0, 0, 0, 0};
    Entry(good, 231, 4, -5, 0, 10, 2, 0);
    Append(good, std::string("nm") + '\0' + "b" + '\0');
    int result = 0;
    auto recs = Parse(good, &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].left, -5);
    EXPECT_EQ(recs[0].right, 5);
    EXPECT_EQ(recs[0].bottom, 2);
    EXPECT_STREQ(recs[0].name, "nm");

    Bytes version2 = good;
    version2[0] = 2;
    Parse(version2, &result);
    EXPECT_EQ(result, 0);
    // Extra-data length near 2^32: the strings' start must not wrap.
    for (uint32_t extra : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u, 6u}) {
        Bytes b = good;
        brio::PutU32(b.data(), 3, extra);
        Parse(b, &result);
        EXPECT_EQ(result, 0) << extra;
    }
    // Strings cut short: every truncation of the string area fails.
    for (size_t cut = 22; cut < good.size(); ++cut) {
        Parse(Bytes(good.begin(), good.begin() + cut), &result);
        EXPECT_EQ(result, 0) << cut;
    }
    // A string of 256 characters without a terminator in reach.
    Bytes longName = {1, 1, 0, 0, 0, 0, 0};
    Entry(longName, 231, 4, 0, 0, 1, 1, 0);
    longName.insert(longName.end(), 256, 'a');
    Append(longName, std::string("") + '\0' + '\0');
    Parse(longName, &result);
    EXPECT_EQ(result, 0);
}

TEST(HotspotBlock, LongestBindingSurvives) {
    std::string binding(255, 'q');
    GlobalHandle list = MakeList({Make(204, 4, 0, 0, 1, 1, binding, std::string(255, 'n'))});
    GlobalHandle picture = BarePicture();
    ASSERT_EQ(brio::BuildHotspotBlock(&picture, list), 0);
    int result = 0;
    auto back = Parse(BlockOf(picture), &result);
    ASSERT_EQ(result, 1);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(std::string(back[0].binding), binding);
    EXPECT_EQ(std::string(back[0].name), std::string(255, 'n'));
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
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
    for (const auto& c : cases) {
        GlobalHandle list = MakeList({Make(231, 4, c.l, c.t, c.r, c.b, "a")});
        GlobalHandle picture = BarePicture();
        EXPECT_EQ(brio::BuildHotspotBlock(&picture, list), c.status) << c.l << "," << c.t;
        brio::ListDestroy(list);
        brio::PlatGlobalFree(picture);
    }
}

TEST(HotspotBlock, MoreThan65535HotspotsAreRefused) {
#ifdef _WIN32
    GTEST_SKIP() << "the system's table of movable blocks holds fewer than 2 x 65,536 handles";
#endif
    HotspotRecord r = Make(231, 4, 0, 0, 1, 1, "a");
    GlobalHandle list = brio::ListCreate();
    for (int i = 0; i < 65536; ++i) ASSERT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
    GlobalHandle picture = BarePicture();
    EXPECT_EQ(brio::BuildHotspotBlock(&picture, list), 4);
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
}

TEST(HotspotBlock, GrowthFailureReportsNoMemoryAndKeepsThePicture) {
    GlobalHandle list = MakeList({Make(231, 4, 0, 0, 1, 1, "a")});
    GlobalHandle picture = BarePicture();
    brio::FailAllocationAfter(1);
    EXPECT_EQ(brio::BuildHotspotBlock(&picture, list), 8);
    brio::FailAllocationAfter(0);
    EXPECT_EQ(brio::PlatGlobalSize(picture), 58u);
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
}

}  // namespace
