// End-to-end runs of the brioutil tool: picture info, extract, build, preview.
#ifdef BRIOUTIL_CLI_BINARY
#include <cstdint>

#include "bitmap/picture_fixtures.h"
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

// A 4-bit 8 x 3 bitmap file with a 16-colour table; pelsPerMetre as given.
std::string Bitmap(uint32_t ppm) {
    std::string b(130, '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, {{2, 130}, {10, 118}, {14, 40}, {18, 8}, {22, 3}, {34, 12}, {38, ppm}, {42, ppm}});
    Put32(b, {{46, 16}});
    Put16(b, {{26, 1}, {28, 4}});
    for (uint32_t i = 0; i < 16; ++i) Put32(b, {{54 + 4 * i, i * 0x00101010u}});
    for (uint32_t row = 0; row < 3; ++row) Put32(b, {{118 + 4 * row, 0x01234567u * (row + 1)}});
    return b;
}

// The resolution fields (pictures store them in their own unit) zeroed.
std::string WithoutResolution(std::string bmp) {
    if (bmp.size() >= 46) bmp.replace(38, 8, 8, '\0');
    return bmp;
}

const std::string kHotspots =
    "# left top right bottom kind binding\n0 0 4 2 jump PLANTING\n"
    "4\t1\t8\t3\tpopup\tPOND\r\n1 0 2 1 macro JumpId(\"x\", `a&b')\n";

TEST(CliPicture, BuildInfoExtractAndPreview) {
    CliDir dir({{"pic.bmp", Bitmap(2835)}, {"spots.txt", kHotspots}});
    std::string bmp = dir.File("pic.bmp"), spots = dir.File("spots.txt"),
                picture = dir.File("pic.shg");
    EXPECT_EQ(RunOk({"picture", "build", bmp, spots, "-o", picture}),
              bmp + " + 3 hotspots -> " + picture + "\n");
    // Standard streams stand for files; what comes out names the file "-".
    EXPECT_EQ(RunOk({"picture", "build", "-", spots, "-o", "-"}, Bitmap(2835)), ReadFile(picture));
    std::string json = RunOk({"picture", "info", picture, "--json"});
    json.replace(json.find(picture), picture.size(), "-");
    EXPECT_EQ(RunOk({"picture", "info", "-", "--json"}, ReadFile(picture)), json);
    std::string info = RunOk({"picture", "info", picture});
    EXPECT_EQ(info, "file:     " + picture +
                        "\ntype:     bitmap group file\nbitmap:   8 x 3, 4 bits per pixel\n"
                        "hotspots: 3\n# left\ttop\tright\tbottom\tkind\tbinding\n"
                        "0\t0\t4\t2\tjump\tPLANTING\n4\t1\t8\t3\tpopup\tPOND\n"
                        "1\t0\t2\t1\tmacro\tJumpId(\"x\", `a&b')\n");
    RunOk({"picture", "extract", picture, "-o", dir.File("out.bmp")});
    EXPECT_EQ(WithoutResolution(ReadFile(dir.File("out.bmp"))), Bitmap(0));
    EXPECT_EQ(WithoutResolution(RunOk({"picture", "extract", bmp, "-o", "-"})), Bitmap(0));

    RunOk({"picture", "preview", picture, "-o", dir.File("pic.svg")});
    std::string svg = ReadFile(dir.File("pic.svg"));
    const char* expected[] = {
        "width=\"64\" height=\"24\">",  // 8 pixels wide: drawn 8 times larger
        "<rect x=\"0\" y=\"0\" width=\"32\" height=\"16\" fill=\"#d00000\"",
        "<text x=\"3\" y=\"13\" font-family=\"sans-serif\" font-size=\"12\" fill=\"#d00000\">"
        "jump: PLANTING</text>",
        "<rect x=\"32\" y=\"8\" width=\"32\" height=\"16\" fill=\"#008000\"",
        "popup: POND (4,1)-(8,3)</title>",
        "macro: JumpId(&quot;x&quot;, `a&amp;b')</text>",
        // The bitmap file, up to its resolution fields.
        "xlink:href=\"data:image/bmp;base64,Qk2CAAAAAAAAAHYAAAAoAAAACAAAAAMAAAABAAQAAAAAAAwA",
    };
    for (const char* e : expected) EXPECT_NE(svg.find(e), std::string::npos) << e;
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

// info's hotspot lines are a hotspot list (an empty binding too): a rebuild
// from the picture itself gives the same hotspots. Hotspots outside warn.
TEST(CliPicture, InfoFeedsBuildAndOutsideHotspotsWarn) {
    CliDir d({{"q.bmp", TinyBitmap()}, {"out.txt", "0 0 3 1 jump A\n1 1 2 2 macro\n"}});
    std::string corpus = CorpusDir("bitmap-group/024.bin");
    std::string info = RunOk({"picture", "info", corpus});
    std::string list = info.substr(info.find("# left"));
    WriteFile(d.File("spots.txt"), list);
    RunOk({"picture", "build", corpus, d.File("spots.txt"), "-o", d.File("again.shg")});
    std::string again = RunOk({"picture", "info", d.File("again.shg")});
    EXPECT_EQ(again.substr(again.find("type:")), info.substr(info.find("type:")));
    EXPECT_NE(list.find("\tjump\t\n"), std::string::npos) << list;
    ToolRun run =
        RunTool({"picture", "build", d.File("q.bmp"), d.File("out.txt"), "-o", d.File("o.shg")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "brioutil picture build: warning: " + d.File("out.txt") +
                           ":1: the hotspot reaches outside the 2 x 2 picture\n");
    EXPECT_NE(RunOk({"picture", "info", CorpusDir("wmf/001.wmf")})
                  .find("type:     placeable metafile\nbitmap:   none"),
              std::string::npos);
}

TEST(CliPicture, EveryCorpusBitmapComesOutAsAWholeBitmapFile) {
    TempDir dir;
    std::string out = dir.File("x.bmp");
    int extracted = 0;
    for (const char* folder : {"bitmap-group", "bmp"}) {
        for (const auto& file : ListFiles(CorpusDir(folder))) {
            ToolRun run = RunTool({"picture", "extract", file, "-o", out});
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
            auto field = [&](size_t at) { return brio::GetU32(bmp.data(), at); };
            uint32_t width = field(18), height = field(22), bits = uint8_t(bmp[28]);
            uint32_t colours = field(46) ? field(46) : bits <= 8 ? 1u << bits : 0;
            EXPECT_EQ(bmp.substr(0, 2), "BM") << file;
            EXPECT_EQ(field(2), bmp.size()) << file;
            EXPECT_EQ(field(10), 14 + 40 + colours * 4) << file;
            EXPECT_EQ(bmp.size(), field(10) + (uint64_t{width} * bits + 31) / 32 * 4 * height)
                << file;
        }
    }
    EXPECT_GE(extracted, 30);
}

}  // namespace
#endif
