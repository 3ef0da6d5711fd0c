// A bitmap and hotspots from the input go through FileSetBitmap,
// FileSetHotspot and FileWriteHotspots; FileGetBitmap and FileGetHotspot
// must give back the same pixels, colour table and hotspots.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "adt/bytes.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "fuzz_support.h"

namespace {

struct Spot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const uint16_t kBits[] = {1, 4, 8, 24};
    uint16_t bits = kBits[in.ConsumeIntegralInRange<int>(0, 3)];
    uint32_t width = in.ConsumeIntegralInRange<uint32_t>(1, 64);
    uint32_t height = in.ConsumeIntegralInRange<uint32_t>(1, 64);
    uint32_t colours = bits <= 8 ? in.ConsumeIntegralInRange<uint32_t>(1, 1u << bits) : 0;
    uint32_t stride = ((bits * width + 31) / 32) * 4;
    uint32_t rowBytes = (bits * width + 7) / 8;
    std::vector<uint8_t> dib(40 + 4 * colours + stride * height, 0);
    brio::PutU32(dib.data(), 0, 40);
    brio::PutU32(dib.data(), 4, width);
    brio::PutU32(dib.data(), 8, height);
    brio::PutU16(dib.data(), 12, 1);
    brio::PutU16(dib.data(), 14, bits);
    brio::PutU32(dib.data(), 20, stride * height);
    brio::PutU32(dib.data(), 32, colours);
    for (uint32_t i = 0; i < colours; ++i)
        for (int k = 0; k < 3; ++k) dib[40 + 4 * i + k] = in.ConsumeIntegral<uint8_t>();
    // Whole bytes of each row; the padding stays zero.
    uint8_t* pixels = dib.data() + 40 + 4 * colours;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x)
            pixels[y * stride + x] = in.ConsumeIntegral<uint8_t>();
    uint32_t unused = bits * width % 8;
    if (unused)
        for (uint32_t y = 0; y < height; ++y)
            pixels[y * stride + rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - unused));

    std::vector<Spot> spots(in.ConsumeIntegralInRange<size_t>(0, 20));
    for (auto& s : spots) {
        s.left = in.ConsumeIntegral<int16_t>();
        s.top = in.ConsumeIntegral<int16_t>();
        s.right = s.left + in.ConsumeIntegral<int16_t>();
        s.bottom = s.top + in.ConsumeIntegral<int16_t>();
        s.kind = in.ConsumeIntegralInRange<int32_t>(0, 2);
        s.binding = in.ConsumeRandomLengthString(255);
        s.binding = s.binding.substr(0, std::strlen(s.binding.c_str()));
    }

    static const std::string path = fuzz::TempPath("roundtrip.shg");
    if (BrioHostClipboardSetDib(dib.data(), dib.size()) != 0) fuzz::Mismatch("clipboard set");
    HotspotFile* f = FileSetBitmap(path.c_str());
    if (!f) fuzz::Mismatch("FileSetBitmap refused a valid bitmap");
    for (const auto& s : spots)
        FileSetHotspot(f, s.top, s.bottom, s.left, s.right, s.kind, s.binding.c_str());
    int32_t status = FileWriteHotspots(f);
    FileCleanup(f);
    if (status != 0) fuzz::Mismatch("FileWriteHotspots failed");

    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(path.c_str(), 0);
    if (!handle) fuzz::Mismatch("FileGetBitmap refused the written file");
    auto* g = reinterpret_cast<HotspotFile*>(handle);
    size_t n = 0;
    for (;; ++n) {
        Spot s;
        const char* binding = nullptr;
        int32_t length = -1;
        if (!FileGetHotspot(g, &s.top, &s.bottom, &s.left, &s.right, &s.kind, &binding, &length))
            break;
        if (n >= spots.size()) fuzz::Mismatch("extra hotspot");
        const Spot& w = spots[n];
        if (s.top != w.top || s.bottom != w.bottom || s.left != w.left || s.right != w.right ||
            s.kind != w.kind || w.binding != binding ||
            length != static_cast<int32_t>(w.binding.size()))
            fuzz::Mismatch("hotspot");
    }
    if (n != spots.size()) fuzz::Mismatch("hotspot count");

    std::vector<uint8_t> back(BrioHostClipboardGetDib(nullptr, 0));
    if (back.size() != dib.size()) fuzz::Mismatch("bitmap size");
    BrioHostClipboardGetDib(back.data(), back.size());
    for (size_t at : {4, 8, 14, 32})
        if (brio::GetU32(back.data(), at) != brio::GetU32(dib.data(), at) &&
            !(at == 14 && brio::GetU16(back.data(), 14) == bits))
            fuzz::Mismatch("bitmap header");
    if (std::memcmp(back.data() + 40, dib.data() + 40, dib.size() - 40) != 0)
        fuzz::Mismatch("colour table or pixels");
    BrioHostClipboardClear();
    std::remove(path.c_str());
    return 0;
}
