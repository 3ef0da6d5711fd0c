// Real picture files written by other people: every one opens with the
// status its type calls for, its bitmap reaches the clipboard as a block an
// independent decoder reads, and it survives a round trip through the
// writing exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace brio::test;

Bytes Clipboard() {
    size_t size = BrioHostClipboardGetDib(nullptr, 0);
    Bytes out(size);
    if (size) BrioHostClipboardGetDib(out.data(), size);
    return out;
}

struct Hotspot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
    bool operator==(const Hotspot& o) const {
        return top == o.top && bottom == o.bottom && left == o.left && right == o.right &&
               kind == o.kind && binding == o.binding;
    }
};

std::vector<Hotspot> Drain(intptr_t handle) {
    std::vector<Hotspot> out;
    auto* f = reinterpret_cast<HotspotFile*>(handle);
    Hotspot h{};
    const char* binding = nullptr;
    int32_t length = 0;
    while (FileGetHotspot(f, &h.top, &h.bottom, &h.left, &h.right, &h.kind, &binding, &length)) {
        h.binding = binding;
        out.push_back(h);
    }
    return out;
}

uint32_t Colours(const Bytes& dib) {
    uint32_t used = brio::GetU32(dib.data(), 32);
    uint32_t bits = brio::GetU16(dib.data(), 14);
    return used ? used : (bits <= 8 ? 1u << bits : 0);
}

// Offset of the pixels in a packed DIB.
size_t PixelsAt(const Bytes& dib) {
    size_t masks = brio::GetU32(dib.data(), 0) == 40 && brio::GetU32(dib.data(), 16) == 3 ? 12 : 0;
    return brio::GetU32(dib.data(), 0) + masks + 4 * Colours(dib);
}

// The clipboard block as a bitmap file.
std::string AsBmpFile(const Bytes& dib) {
    std::string file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    brio::PutU32(&file[0], 2, static_cast<uint32_t>(14 + dib.size()));
    brio::PutU32(&file[0], 10, static_cast<uint32_t>(14 + PixelsAt(dib)));
    return file + std::string(dib.begin(), dib.end());
}

bool HaveConvert() {
#ifdef _WIN32
    return false;
#else
    return std::system("convert -version > /dev/null 2>&1") == 0;
#endif
}

std::string Run(const std::string& command) {
    std::string out;
#ifndef _WIN32
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    if (pclose(pipe) != 0) out = "failed";
#else
    (void)command;
#endif
    return out;
}

// What the independent decoder makes of each file, in one run: a line of
// "width height signature", the signature a hash of the decoded pixels.
std::vector<std::string> Decode(const std::vector<std::string>& paths) {
    std::string command = "convert";
    for (const auto& p : paths) command += " '" + p + "'";
    std::string out = Run(command + " -format '%w %h %#\\n' info: 2>/dev/null");
    std::vector<std::string> lines;
    size_t at = 0, nl;
    while ((nl = out.find('\n', at)) != std::string::npos) {
        lines.push_back(out.substr(at, nl - at));
        at = nl + 1;
    }
    return lines;
}

std::vector<std::string> Corpus(const char* folder) {
    std::vector<std::string> files = ListFiles(CorpusDir(folder));
    EXPECT_FALSE(files.empty()) << folder;
    return files;
}

TEST(PictureCorpus, EveryFileOpensWithTheStatusOfItsType) {
    for (const char* folder : {"bitmap-group", "bmp", "wmf"}) {
        for (const auto& path : Corpus(folder)) {
            std::string bytes = ReadFile(path);
            ASSERT_GE(bytes.size(), 34u) << path;
            // A bitmap file opens unless it is compressed.
            bool expected = std::string(folder) != "bmp" || brio::GetU32(bytes.data(), 30) == 0;
            BrioHostClipboardClear();
            intptr_t handle = FileGetBitmap(path.c_str(), 0);
            EXPECT_EQ(handle != 0, expected) << path;
            if (handle) Drain(handle);
            if (std::string(folder) == "bmp") {
                EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), 0) << path;
            }
        }
    }
}

TEST(PictureCorpus, ClipboardBitmapsDecodeIndependently) {
    if (!HaveConvert()) GTEST_SKIP() << "needs ImageMagick's convert (not on Windows builds)";
    TempDir dir;
    // Decoded together at the end: each clipboard block as a file, and for
    // bitmap files the original beside them.
    std::vector<std::string> files;
    struct Check {
        std::string source;
        std::string dims;    // expected "width height"
        size_t clip;         // index in files of FileGetBitmap's block
        long original = -1;  // index of the source file, for bitmap files
        long dibCopy = -1;   // index of HotspotGetDIBBitmap's block
    };
    std::vector<Check> checks;
    for (const char* folder : {"bitmap-group", "bmp"}) {
        for (const auto& path : Corpus(folder)) {
            BrioHostClipboardClear();
            if (FileGetBitmap(path.c_str(), 1) != 0) continue;  // refused by type
            Bytes dib = Clipboard();
            ASSERT_GE(dib.size(), 40u) << path;
            int32_t width = brio::GetI32(dib.data(), 4), height = brio::GetI32(dib.data(), 8);
            // Never shorter than its rows: the host reads no further than the block.
            uint64_t stride = ((uint64_t(brio::GetU16(dib.data(), 14)) * width + 31) / 32) * 4;
            EXPECT_GE(dib.size(), PixelsAt(dib) + stride * height) << path;
            Check c;
            c.source = path;
            c.dims = std::to_string(width) + " " + std::to_string(height);
            c.clip = files.size();
            files.push_back(dir.File("clip" + std::to_string(files.size()) + ".bmp"));
            ASSERT_TRUE(WriteFile(files.back(), AsBmpFile(dib)));
            if (std::string(folder) == "bmp") {
                c.original = static_cast<long>(files.size());
                files.push_back(path);
                ASSERT_EQ(HotspotGetDIBBitmap(path.c_str()), 0) << path;
                c.dibCopy = static_cast<long>(files.size());
                files.push_back(dir.File("dib" + std::to_string(files.size()) + ".bmp"));
                ASSERT_TRUE(WriteFile(files.back(), AsBmpFile(Clipboard())));
            }
            checks.push_back(c);
        }
    }
    std::vector<std::string> decoded = Decode(files);
    ASSERT_EQ(decoded.size(), files.size()) << "the decoder refused a file";
    auto dimsOf = [](const std::string& line) { return line.substr(0, line.rfind(' ')); };
    for (const auto& c : checks) {
        EXPECT_EQ(dimsOf(decoded[c.clip]), c.dims) << c.source;
        if (c.original >= 0) {
            EXPECT_EQ(decoded[c.clip], decoded[c.original]) << c.source << ": pixels differ";
            EXPECT_EQ(decoded[c.dibCopy], decoded[c.original]) << c.source << ": pixels differ";
        }
    }
    EXPECT_GT(checks.size(), 30u);
}

TEST(PictureCorpus, RoundTripThroughTheWritingExports) {
    TempDir dir;
    int withHotspots = 0;
    for (const char* folder : {"bitmap-group", "bmp"}) {
        for (const auto& path : Corpus(folder)) {
            BrioHostClipboardClear();
            intptr_t handle = FileGetBitmap(path.c_str(), 0);
            if (!handle) continue;
            Bytes first = Clipboard();
            std::vector<Hotspot> spots = Drain(handle);
            if (!spots.empty()) ++withHotspots;

            std::string out = dir.File("round.shg");
            HotspotFile* f = FileSetBitmap(out.c_str());
            ASSERT_NE(f, nullptr) << path;
            for (const auto& h : spots)
                FileSetHotspot(f, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str());
            ASSERT_EQ(FileWriteHotspots(f), 0) << path;
            FileCleanup(f);

            BrioHostClipboardClear();
            intptr_t again = FileGetBitmap(out.c_str(), 0);
            ASSERT_NE(again, 0) << path;
            Bytes second = Clipboard();
            EXPECT_EQ(Drain(again), spots) << path;
            // Same size, format, colour table and rows.
            for (size_t at : {4, 8, 12, 14, 16}) {
                EXPECT_EQ(brio::GetU32(first.data(), at) & (at >= 12 && at < 16 ? 0xFFFF : ~0u),
                          brio::GetU32(second.data(), at) & (at >= 12 && at < 16 ? 0xFFFF : ~0u))
                    << path << " header field at " << at;
            }
            size_t pixelsAt = PixelsAt(first);
            uint64_t stride =
                ((uint64_t(brio::GetU16(first.data(), 14)) * brio::GetU32(first.data(), 4) + 31) /
                 32) *
                4;
            size_t image = static_cast<size_t>(stride * brio::GetU32(first.data(), 8));
            ASSERT_EQ(PixelsAt(second), pixelsAt) << path;
            ASSERT_GE(first.size(), pixelsAt + image) << path;
            ASSERT_EQ(second.size(), pixelsAt + image) << path;
            EXPECT_TRUE(std::memcmp(first.data() + 40, second.data() + 40, pixelsAt - 40 + image) ==
                        0)
                << path << ": table or pixels differ";
        }
    }
    EXPECT_GT(withHotspots, 5);
}

TEST(PictureCorpus, MetafilesKeepTheirHotspotsAndLeaveTheClipboard) {
    for (const auto& path : Corpus("wmf")) {
        BrioHostClipboardClear();
        intptr_t handle = FileGetBitmap(path.c_str(), 0);
        ASSERT_NE(handle, 0) << path;
        EXPECT_TRUE(Clipboard().empty()) << path;
        EXPECT_TRUE(Drain(handle).empty()) << path;
    }
}

}  // namespace

namespace {

// Damaged copies of real files: headers with flipped bytes, files cut
// short. Opening never reads out of bounds (the sanitizer build watches),
// and a bitmap that does open puts a block on the clipboard that holds all
// of its rows.
TEST(PictureCorpus, DamagedFilesNeverReadOutOfBounds) {
    TempDir dir;
    std::string path = dir.File("damaged");
    uint32_t state = 12345;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int opened = 0, refused = 0;
    for (const char* folder : {"bitmap-group", "bmp", "wmf"}) {
        std::vector<std::string> files = ListFiles(CorpusDir(folder));
        for (size_t k = 0; k < files.size(); k += 3) {
            std::string original = ReadFile(files[k]);
            for (int round = 0; round < 40; ++round) {
                std::string bytes = original;
                if (round % 4 == 0) {
                    bytes.resize(next() % bytes.size());
                } else {
                    size_t span = bytes.size() < 160 ? bytes.size() : 160;
                    for (int flips = 1 + round % 3; flips > 0; --flips)
                        bytes[next() % span] = static_cast<char>(next());
                }
                ASSERT_TRUE(WriteFile(path, bytes));
                BrioHostClipboardClear();
                intptr_t result = FileGetBitmap(path.c_str(), 1);
                ASSERT_TRUE(result == 0 || result == 1) << files[k] << " round " << round;
                if (result == 1) {
                    ++refused;
                    continue;
                }
                ++opened;
                Bytes dib = Clipboard();
                if (dib.empty()) continue;  // a metafile
                ASSERT_GE(dib.size(), 40u);
                uint64_t stride =
                    ((uint64_t(brio::GetU16(dib.data(), 14)) * brio::GetU32(dib.data(), 4) + 31) /
                     32) *
                    4;
                EXPECT_GE(dib.size(), PixelsAt(dib) + stride * brio::GetU32(dib.data(), 8))
                    << files[k] << " round " << round;
                if (std::string(folder) == "bmp") HotspotGetDIBBitmap(path.c_str());
            }
        }
    }
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
