// Picture codecs and the open-to-clipboard path: throughput of the LZ
// decoder and the run-length codecs on picture-like data, and the time to
// open a 4000 x 4000, 24-bit group file and put it on the clipboard.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/compress/lz_encoder.h"
#include "adt/bytes.h"
#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "compress/lz.h"

namespace {

constexpr size_t kSize = 4 << 20;

const std::vector<uint8_t>& Plain() {
    static const std::vector<uint8_t> data = brio::test::PictureLikeData(kSize, 3);
    return data;
}

void BM_LzDecompress(benchmark::State& state) {
    static const std::vector<uint8_t> stream = brio::test::LzEncode(Plain());
    std::vector<uint8_t> out(kSize);
    for (auto _ : state) {
        int32_t n = brio::LzDecompress(stream.data(), out.data(),
                                       static_cast<uint32_t>(stream.size()), kSize);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
    state.counters["ratio"] = static_cast<double>(stream.size()) / kSize;
}
BENCHMARK(BM_LzDecompress);

void BM_PackRle(benchmark::State& state) {
    std::vector<uint8_t> out(brio::PackRleBound(kSize));
    for (auto _ : state) {
        size_t n = brio::PackRle(Plain().data(), out.data(), kSize);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BM_PackRle);

void BM_UnpackRle(benchmark::State& state) {
    std::vector<uint8_t> packed(brio::PackRleBound(kSize));
    packed.resize(brio::PackRle(Plain().data(), packed.data(), kSize));
    std::vector<uint8_t> out(kSize);
    for (auto _ : state) {
        int32_t n =
            brio::UnpackRle(packed.data(), out.data(), static_cast<uint32_t>(packed.size()), kSize);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kSize);
    state.counters["ratio"] = static_cast<double>(packed.size()) / kSize;
}
BENCHMARK(BM_UnpackRle);

// The file is written once and removed when the program ends: the
// benchmark function runs several times.
struct RemoveAtExit {
    std::string path;
    ~RemoveAtExit() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// A 4000 x 4000, 24-bit group file of picture-like pixels, written once.
std::string LargeGroupFile() {
    static RemoveAtExit file;
    std::string& path = file.path;
    if (!path.empty()) return path;
    const uint32_t width = 4000, height = 4000;
    const size_t image = static_cast<size_t>(width) * 3 * height;
    std::vector<uint8_t> pixels = brio::test::PictureLikeData(image, 5);
    brio::GlobalHandle pic = brio::PlatGlobalAlloc(brio::kGhnd, 58 + image);
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(pic));
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
    brio::PlatGlobalUnlock(pic);
    brio::GlobalHandle list = brio::ListCreate();
    std::string target = "picture_bench_4000.shg";
    if (brio::SaveHotspotBitmap(target.c_str(), &pic, list) == 0) path = target;
    brio::ListDestroy(list);
    brio::FreePicture(pic);
    return path;
}

void BM_OpenGroupFileToClipboard4000x4000(benchmark::State& state) {
    std::string path = LargeGroupFile();
    if (path.empty()) {
        state.SkipWithError("could not write the group file");
        return;
    }
    for (auto _ : state) {
        intptr_t result = FileGetBitmap(path.c_str(), 1);
        if (result != 0) state.SkipWithError("FileGetBitmap failed");
    }
    BrioHostClipboardClear();
}
BENCHMARK(BM_OpenGroupFileToClipboard4000x4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
