// Picture codecs and the open-to-clipboard path on square 24-bit pictures
// from 64 x 64 to 4000 x 4000: the LZ decoder and the run-length codecs on
// picture-like data beside a plain copy of their output, and opening a group
// file onto the clipboard.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../tests/compress/lz_encoder.h"
#include "adt/bytes.h"
#include "bitmap/bmio.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "compress/lz.h"

namespace {

// Square 24-bit pictures from 64 x 64 to 4000 x 4000: the pixel bytes of
// each side length.
size_t PixelBytes(const benchmark::State& state) {
    size_t side = static_cast<size_t>(state.range(0));
    return side * 3 * side;
}

void Sides(benchmark::internal::Benchmark* b) {
    b->Arg(64)->Arg(256)->Arg(1024)->Arg(4000);
}

const std::vector<uint8_t>& Plain(size_t size) {
    static std::map<size_t, std::vector<uint8_t>> cache;
    std::vector<uint8_t>& data = cache[size];
    if (data.empty()) data = brio::test::PictureLikeData(size, 3);
    return data;
}

void SetBytes(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// The floor for both decoders: copying their output size.
void BM_MemcpyPixels(benchmark::State& state) {
    size_t size = PixelBytes(state);
    const std::vector<uint8_t>& plain = Plain(size);
    std::vector<uint8_t> out(size);
    for (auto _ : state) {
        std::memcpy(out.data(), plain.data(), size);
        benchmark::ClobberMemory();
    }
    SetBytes(state, size);
}
BENCHMARK(BM_MemcpyPixels)->Apply(Sides);

void BM_LzDecompress(benchmark::State& state) {
    size_t size = PixelBytes(state);
    const std::vector<uint8_t> stream = brio::test::LzEncode(Plain(size));
    std::vector<uint8_t> out(size);
    for (auto _ : state) {
        int32_t n =
            brio::LzDecompress(stream.data(), out.data(), static_cast<uint32_t>(stream.size()),
                               static_cast<uint32_t>(size));
        if (static_cast<size_t>(n) != size) state.SkipWithError("short output");
    }
    SetBytes(state, size);
    state.counters["ratio"] = static_cast<double>(stream.size()) / static_cast<double>(size);
}
BENCHMARK(BM_LzDecompress)->Apply(Sides);

void BM_PackRle(benchmark::State& state) {
    size_t size = PixelBytes(state);
    std::vector<uint8_t> out(brio::PackRleBound(size));
    for (auto _ : state) {
        size_t n = brio::PackRle(Plain(size).data(), out.data(), size);
        benchmark::DoNotOptimize(n);
    }
    SetBytes(state, size);
}
BENCHMARK(BM_PackRle)->Apply(Sides);

void BM_UnpackRle(benchmark::State& state) {
    size_t size = PixelBytes(state);
    std::vector<uint8_t> packed(brio::PackRleBound(size));
    packed.resize(brio::PackRle(Plain(size).data(), packed.data(), size));
    std::vector<uint8_t> out(size);
    for (auto _ : state) {
        int32_t n = brio::UnpackRle(packed.data(), out.data(), static_cast<uint32_t>(packed.size()),
                                    static_cast<uint32_t>(size));
        if (static_cast<size_t>(n) != size) state.SkipWithError("short output");
    }
    SetBytes(state, size);
    state.counters["ratio"] = static_cast<double>(packed.size()) / static_cast<double>(size);
}
BENCHMARK(BM_UnpackRle)->Apply(Sides);

// The file is written once and removed when the program ends: the
// benchmark function runs several times.
struct RemoveAtExit {
    std::string path;
    ~RemoveAtExit() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// A square 24-bit group file of picture-like pixels, written once per size.
std::string GroupFile(uint32_t side) {
    static std::map<uint32_t, RemoveAtExit> files;
    std::string& path = files[side].path;
    if (!path.empty()) return path;
    const uint32_t width = side, height = side;
    const size_t image = static_cast<size_t>(width) * 3 * height;
    std::vector<uint8_t> pixels = brio::test::PictureLikeData(image, 5);
    brio::Picture pic;
    pic.record.assign(58 + image, 0);
    uint8_t* p = pic.record.data();
    p[0] = brio::kPictureDib;
    brio::PutU32(p, brio::kPicDataSize, static_cast<uint32_t>(image));
    brio::PutU32(p, brio::kPicDataOffset, 58);
    brio::PutU32(p, brio::kPicHotspotOffset, static_cast<uint32_t>(58 + image));
    brio::PutU32(p, brio::kBiSize, 40);
    brio::PutU32(p, brio::kBiWidth, width);
    brio::PutU32(p, brio::kBiHeight, height);
    brio::PutU16(p, brio::kBiPlanes, 1);
    brio::PutU16(p, brio::kBiBitCount, 24);
    std::memcpy(p + 58, pixels.data(), image);
    std::string target = "picture_bench_" + std::to_string(side) + ".shg";
    if (brio::SaveHotspotBitmap(target.c_str(), &pic, {}) == 0) path = target;
    return path;
}

void BM_OpenGroupFileToClipboard(benchmark::State& state) {
    std::string path = GroupFile(static_cast<uint32_t>(state.range(0)));
    if (path.empty()) {
        state.SkipWithError("could not write the group file");
        return;
    }
    for (auto _ : state) {
        intptr_t result = FileGetBitmap(path.c_str(), 1);
        if (result != 0) state.SkipWithError("FileGetBitmap failed");
    }
    BrioHostClipboardClear();
    SetBytes(state, PixelBytes(state));
}
BENCHMARK(BM_OpenGroupFileToClipboard)->Apply(Sides)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
