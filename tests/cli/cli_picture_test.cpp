// End-to-end runs of the brioutil tool: picture info, extract, build, preview.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "test_support.h"

namespace {

using brio::test::ReadFile;
using brio::test::RunTool;
using brio::test::TempDir;
using brio::test::WriteFile;

void Put(std::string& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A 4-bit 8 x 3 bitmap file with a 16-colour table; pelsPerMetre as given.
std::string Bitmap(uint32_t pelsPerMetre) {
    std::string info;
    Put(info, 40, 4);
    Put(info, 8, 4);
    Put(info, 3, 4);
    Put(info, 1, 2);
    Put(info, 4, 2);
    Put(info, 0, 4);
    Put(info, 12, 4);
    Put(info, pelsPerMetre, 4);
    Put(info, pelsPerMetre, 4);
    Put(info, 16, 4);
    Put(info, 0, 4);
    for (uint32_t i = 0; i < 16; ++i) Put(info, i * 0x00101010u, 4);
    for (uint32_t row = 0; row < 3; ++row) Put(info, 0x01234567u * (row + 1), 4);
    std::string file = "BM";
    Put(file, static_cast<uint32_t>(14 + info.size()), 4);
    Put(file, 0, 4);
    Put(file, 14 + 40 + 64, 4);
    return file + info;
}

// The same bytes with the resolution fields (which pictures store in their
// own unit) zeroed.
std::string WithoutResolution(std::string bmp) {
    if (bmp.size() >= 46) bmp.replace(38, 8, 8, '\0');
    return bmp;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
        uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                     static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out += kDigits[v >> s & 63];
    }
    return out;
}

const std::string kHotspots =
    "# left top right bottom kind binding\n"
    "0 0 4 2 jump PLANTING\n"
    "4\t1\t8\t3\tpopup\tPOND\r\n"
    "1 0 2 1 macro JumpId(\"x\", `a&b')\n";

struct Built {
    TempDir dir;
    std::string picture;
};

// Builds dir/pic.shg from the bitmap and the hotspot list.
void Build(Built& b) {
    WriteFile(b.dir.File("pic.bmp"), Bitmap(2835));
    WriteFile(b.dir.File("spots.txt"), kHotspots);
    b.picture = b.dir.File("pic.shg");
    auto run = RunTool({"picture", "build", b.dir.File("pic.bmp"), b.dir.File("spots.txt"), "-o",
                        b.picture});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, b.dir.File("pic.bmp") + " + 3 hotspots -> " + b.picture + "\n");
}

TEST(CliPicture, BuildThenInfoShowsTheHotspots) {
    Built b;
    Build(b);
    auto info = RunTool({"picture", "info", b.picture});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.out, "file:     " + b.picture +
                            "\ntype:     bitmap group file\nbitmap:   8 x 3, 4 bits per pixel\n"
                            "hotspots: 3\n# left\ttop\tright\tbottom\tkind\tbinding\n"
                            "0\t0\t4\t2\tjump\tPLANTING\n4\t1\t8\t3\tpopup\tPOND\n"
                            "1\t0\t2\t1\tmacro\tJumpId(\"x\", `a&b')\n");
    auto json = RunTool({"picture", "info", b.picture, "--json"});
    EXPECT_EQ(json.out,
              "{\"file\": \"" + b.picture +
                  "\", \"type\": \"bitmap group file\", \"bitmap\": {\"width\": 8, \"height\": 3, "
                  "\"bits\": 4}, \"hotspots\": [\n"
                  "  {\"left\": 0, \"top\": 0, \"right\": 4, \"bottom\": 2, \"kind\": \"jump\", "
                  "\"binding\": \"PLANTING\"},\n"
                  "  {\"left\": 4, \"top\": 1, \"right\": 8, \"bottom\": 3, \"kind\": \"popup\", "
                  "\"binding\": \"POND\"},\n"
                  "  {\"left\": 1, \"top\": 0, \"right\": 2, \"bottom\": 1, \"kind\": \"macro\", "
                  "\"binding\": \"JumpId(\\\"x\\\", `a&b')\"}\n]}\n");
    // info's hotspot lines are a hotspot list: a rebuild from the picture
    // itself gives the same bitmap and hotspots.
    std::string spots = info.out.substr(info.out.find("# left"));
    WriteFile(b.dir.File("again.txt"), spots);
    auto again = RunTool({"picture", "build", b.picture, b.dir.File("again.txt"), "-o",
                          b.dir.File("again.shg")});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    std::string info2 = RunTool({"picture", "info", b.dir.File("again.shg")}).out;
    EXPECT_EQ(info2.substr(info2.find("type:")), info.out.substr(info.out.find("type:")));
}

TEST(CliPicture, ExtractWritesTheBitmapBack) {
    Built b;
    Build(b);
    auto run = RunTool({"picture", "extract", b.picture, "-o", b.dir.File("out.bmp")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(WithoutResolution(ReadFile(b.dir.File("out.bmp"))), Bitmap(0));
    auto plain = RunTool({"picture", "extract", b.dir.File("pic.bmp"), "-o", "-"});
    EXPECT_EQ(WithoutResolution(plain.out), Bitmap(0));
}

TEST(CliPicture, PreviewDrawsEachHotspotOverThePicture) {
    Built b;
    Build(b);
    std::string svg = b.dir.File("pic.svg");
    auto run = RunTool({"picture", "preview", b.picture, "-o", svg});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string text = ReadFile(svg);
    // 8 pixels wide: drawn 8 times larger.
    EXPECT_NE(text.find("width=\"64\" height=\"24\">"), std::string::npos);
    const char* expected[] = {
        "<rect x=\"0\" y=\"0\" width=\"32\" height=\"16\" fill=\"#d00000\"",
        "<text x=\"3\" y=\"13\" font-family=\"sans-serif\" font-size=\"12\" fill=\"#d00000\">"
        "jump: PLANTING</text>",
        "<rect x=\"32\" y=\"8\" width=\"32\" height=\"16\" fill=\"#008000\"",
        "popup: POND (4,1)-(8,3)</title>",
        "macro: JumpId(&quot;x&quot;, `a&amp;b')</text>",
    };
    for (const char* e : expected) EXPECT_NE(text.find(e), std::string::npos) << e;
    // The bitmap file, up to its resolution fields.
    std::string image = "xlink:href=\"data:image/bmp;base64," + Base64(Bitmap(0).substr(0, 36));
    EXPECT_NE(text.find(image), std::string::npos) << image;
    EXPECT_EQ(text.substr(text.size() - 7), "</svg>\n");
}

TEST(CliPicture, FailuresLeaveNoFileBehind) {
    TempDir dir;
    WriteFile(dir.File("pic.bmp"), Bitmap(2835));
    WriteFile(dir.File("text.txt"), "not a picture at all\n");
    WriteFile(dir.File("kind.txt"), "0 0 4 2 jump A\n0 0 4 2 link B\n");
    WriteFile(dir.File("few.txt"), "0 0 4 jump\n");
    WriteFile(dir.File("wide.txt"), "0 0 70000 2 jump A\n");
    WriteFile(dir.File("upside.txt"), "0 5 4 2 jump A\n");
    std::string out = dir.File("out.shg");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"picture", "info", dir.File("text.txt")}, 2, "text.txt: not a picture"},
        {{"picture", "info", dir.File("none.shg")}, 2, "none.shg: cannot open"},
        {{"picture", "build", dir.File("pic.bmp"), dir.File("kind.txt"), "-o", out}, 2,
         "kind.txt:2: the kind must be jump, popup or macro, not 'link'"},
        {{"picture", "build", dir.File("pic.bmp"), dir.File("few.txt"), "-o", out}, 2,
         "few.txt:1: expected LEFT TOP RIGHT BOTTOM KIND BINDING"},
        {{"picture", "build", dir.File("pic.bmp"), dir.File("upside.txt"), "-o", out}, 2,
         "upside.txt:1: left must not exceed right"},
        {{"picture", "build", dir.File("pic.bmp"), dir.File("wide.txt"), "-o", out}, 2,
         "cannot hold these hotspots"},
        {{"picture", "build", dir.File("text.txt"), dir.File("few.txt"), "-o", out}, 2, "few.txt"},
        {{"picture", "build", dir.File("pic.bmp"), dir.File("wide.txt")}, 1, "-o OUT"},
        {{"picture", "extract", dir.File("pic.bmp")}, 1, "-o OUT"},
        {{"picture", "draw", dir.File("pic.bmp")}, 1, "unknown action 'draw'"},
    };
    for (const auto& c : cases) {
        auto run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[1] << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"few.txt", "kind.txt", "pic.bmp",
                                                       "text.txt", "upside.txt", "wide.txt"}));
}

TEST(CliPicture, MetafileHasHotspotsButNoBitmap) {
    std::string wmf = brio::test::CorpusDir("wmf") + "/001.wmf";
    auto info = RunTool({"picture", "info", wmf});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("type:     placeable metafile\nbitmap:   none"), std::string::npos)
        << info.out;
    TempDir dir;
    auto extract = RunTool({"picture", "extract", wmf, "-o", dir.File("x.bmp")});
    EXPECT_EQ(extract.exitCode, 2);
    EXPECT_NE(extract.err.find("a metafile picture holds no bitmap"), std::string::npos);
    EXPECT_TRUE(dir.Entries().empty());
}

uint32_t Get32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

TEST(CliPicture, EveryCorpusBitmapComesOutAsAWholeBitmapFile) {
    TempDir dir;
    std::string out = dir.File("x.bmp");
    int extracted = 0;
    for (const char* folder : {"bitmap-group", "bmp"}) {
        for (const auto& file : brio::test::ListFiles(brio::test::CorpusDir(folder))) {
            auto run = RunTool({"picture", "extract", file, "-o", out});
            if (run.exitCode != 0) {
                // Refused pictures say so and write nothing.
                EXPECT_EQ(run.exitCode, 2) << file;
                EXPECT_NE(run.err.find("not a picture this tool can read"), std::string::npos)
                    << run.err;
                continue;
            }
            ++extracted;
            std::string bmp = ReadFile(out);
            ASSERT_GE(bmp.size(), 54u) << file;
            uint32_t width = Get32(bmp, 18), height = Get32(bmp, 22);
            uint32_t bits = static_cast<unsigned char>(bmp[28]);
            uint32_t colours = Get32(bmp, 46) ? Get32(bmp, 46) : bits <= 8 ? 1u << bits : 0;
            uint64_t rows = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
            EXPECT_EQ(bmp.substr(0, 2), "BM") << file;
            EXPECT_EQ(Get32(bmp, 2), bmp.size()) << file;
            EXPECT_EQ(Get32(bmp, 10), 14 + 40 + colours * 4) << file;
            EXPECT_EQ(bmp.size(), Get32(bmp, 10) + rows * height) << file;
            std::string info = RunTool({"picture", "info", file}).out;
            EXPECT_NE(info.find("bitmap:   " + std::to_string(width) + " x " +
                                std::to_string(height) + ", " + std::to_string(bits) + " bits"),
                      std::string::npos)
                << file << "\n" << info;
        }
    }
    EXPECT_GE(extracted, 30);
}

}  // namespace
#endif
