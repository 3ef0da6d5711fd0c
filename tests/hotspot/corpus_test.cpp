// Real picture files: open, decode independently, round-trip, survive damage.
#include <gtest/gtest.h>

#include <cstdio>

#include "bitmap/picture_fixtures.h"
#include "test_support.h"

namespace {

using namespace brio::test;

// Where a packed DIB's pixels start and where its rows end.
size_t PixelsAt(const Bytes& dib) {
    uint32_t bits = brio::GetU16(dib.data(), 14), colours = U32(dib, 32);
    if (!colours && bits <= 8) colours = 1u << bits;
    return U32(dib, 0) + (U32(dib, 0) == 40 && U32(dib, 16) == 3 ? 12 : 0) + 4 * colours;
}
uint64_t RowsEnd(const Bytes& dib) {
    uint64_t stride = (uint64_t(brio::GetU16(dib.data(), 14)) * U32(dib, 4) + 31) / 32 * 4;
    return PixelsAt(dib) + stride * U32(dib, 8);
}

// An independent decoder's "width height pixel-hash" line of each file.
std::vector<std::string> Decode(const std::vector<std::string>& paths) {
    std::vector<std::string> lines;
#ifndef _WIN32
    std::string command = "convert";
    for (const auto& p : paths) command += " '" + p + "'";
    FILE* pipe = popen((command + " -format '%w %h %#\\n' info: 2>/dev/null").c_str(), "r");
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe)) lines.emplace_back(line);
    if (pipe && pclose(pipe) != 0) lines.push_back("failed");
#else
    (void)paths;
#endif
    return lines;
}

// Damaged or cut short: in bounds (ASan watches), and all rows on the clipboard.
void Damage(const std::string& original, const std::string& path, bool bmp) {
    static uint32_t state = 12345;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (int round = 0; round < 40; ++round) {
        std::string bytes = original;
        if (round % 4 == 0) bytes.resize(next() % bytes.size());
        for (int flips = round % 4 ? 1 + round % 3 : 0; flips > 0; --flips)
            bytes[next() % std::min<size_t>(bytes.size(), 160)] = char(next());
        ASSERT_TRUE(WriteFile(path, bytes));
        BrioHostClipboardClear();
        intptr_t result = FileGetBitmap(path.c_str(), 1);
        ASSERT_TRUE(result == 0 || result == 1) << round;
        Bytes dib = Clipboard();  // opened and not a metafile: all rows there
        EXPECT_TRUE(result || dib.empty() || dib.size() >= std::max<uint64_t>(40, RowsEnd(dib)));
        if (bmp) HotspotGetDIBBitmap(path.c_str());
    }
}

TEST(PictureCorpus, EveryFileOpensDecodesRoundTripsAndSurvivesDamage) {
    TempDir dir;
    std::string out = dir.File("round.shg");
    // Decoded at the end: a bitmap file's original, its two blocks, and others.
    std::vector<std::string> files;
    std::vector<size_t> originals;
    int opened = 0, withHotspots = 0;
    for (std::string folder : {"bitmap-group", "bmp", "wmf"}) {
        std::vector<std::string> paths = ListFiles(CorpusDir(folder));
        EXPECT_FALSE(paths.empty()) << folder;
        for (const auto& path : paths) {
            SCOPED_TRACE(path);
            std::string bytes = ReadFile(path);
            if ((&path - &paths[0]) % 3 == 0) Damage(bytes, dir.File("damaged"), folder == "bmp");
            EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), folder == "bmp" ? 0 : 2009);
            Bytes dib = Clipboard();  // HotspotGetDIBBitmap's block of a bitmap file
            BrioHostClipboardClear();
            intptr_t handle = FileGetBitmap(path.c_str(), 0);
            // A bitmap file opens unless it is compressed.
            EXPECT_EQ(handle != 0, folder != "bmp" || brio::GetU32(bytes.data(), 30) == 0);
            if (!handle) continue;
            Bytes first = Clipboard();
            std::vector<Hotspot> spots = Drain(handle);
            if (folder == "wmf") {  // the clipboard is left alone; these carry no hotspots
                EXPECT_TRUE(first.empty() && spots.empty());
                continue;
            }
            ++opened;
            withHotspots += !spots.empty();
            // Never shorter than its rows: the host reads no further than the block.
            ASSERT_GE(first.size(), RowsEnd(first));
            if (folder == "bmp") {
                originals.push_back(files.size());
                files.push_back(path);
                files.push_back(dir.File("dib" + std::to_string(files.size()) + ".bmp"));
                ASSERT_TRUE(WriteFile(files.back(), MakeBmp(dib, 0, uint32_t(14 + PixelsAt(dib)))));
            }
            files.push_back(dir.File("clip" + std::to_string(files.size()) + ".bmp"));
            ASSERT_TRUE(WriteFile(files.back(), MakeBmp(first, 0, uint32_t(14 + PixelsAt(first)))));
            ASSERT_EQ(BrioHostClipboardSetDib(first.data(), first.size()), 0);
            HotspotFile* f = FileSetBitmap(out.c_str());
            for (const auto& h : spots)
                FileSetHotspot(f, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str());
            ASSERT_EQ(FileWriteHotspots(f), 0);
            FileCleanup(f);
            BrioHostClipboardClear();
            intptr_t again = FileGetBitmap(out.c_str(), 0);
            Bytes second = Clipboard();
            // Written back with its hotspots and opened again: the same.
            EXPECT_EQ(Drain(again), spots);
            EXPECT_EQ(Sub(second, 4, 16), Sub(first, 4, 16));
            EXPECT_EQ(U32(second, 32), U32(first, 32));
            EXPECT_EQ(second.size(), RowsEnd(first));
            EXPECT_EQ(Sub(second, 40), Sub(first, 40, second.size() - 40));
        }
    }
    EXPECT_GT(withHotspots, 5);
    EXPECT_GT(opened, 30);
    std::vector<std::string> decoded = Decode(files);
    if (decoded.empty()) GTEST_SKIP() << "independent decoding needs ImageMagick's convert";
    ASSERT_EQ(decoded.size(), files.size()) << "the decoder refused a file";
    for (size_t at : originals)  // a bitmap file's two blocks decode to its own pixels
        EXPECT_EQ(decoded[at + 1] + decoded[at + 2], decoded[at] + decoded[at]) << files[at];
}

}  // namespace
