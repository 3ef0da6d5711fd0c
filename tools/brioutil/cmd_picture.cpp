// brioutil picture: hotspot pictures (bitmap group files, bitmaps,
// placeable metafiles): info, extract, build and preview.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "brioutil.h"
#include "brioutil_host.h"
#include "cli.h"
#include "files.h"

namespace cli {

namespace {

uint32_t U16(const std::string& b, size_t at) {
    return at + 2 <= b.size()
               ? static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8
               : 0;
}
uint32_t U32(const std::string& b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}
void Put16(std::string& b, uint32_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8 & 0xFF);
}
void Put32(std::string& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// The kind of picture file, by its first bytes.
std::string PictureType(const std::string& head) {
    uint32_t magic = U16(head, 0);
    if (magic == 0x506C || magic == 0x706C) return "bitmap group file";
    if (magic == 0x4D42) return "Windows bitmap";
    if (U32(head, 0) == 0x9AC6CDD7) return "placeable metafile";
    if (!head.empty() && head[0] == 2) return "device-dependent bitmap";
    if (magic == 0x4146) return "packed monochrome bitmap";
    return "unknown";
}

const char* KindName(int32_t kind) {
    return kind == 0 ? "jump" : kind == 1 ? "popup" : "macro";
}

struct Hotspot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
    int line = 0;  // in the hotspot list
};

// The bitmap as a CF_DIB block ("" for a metafile) and the hotspots.
struct Picture {
    std::string type, dib;
    std::vector<Hotspot> hotspots;
    int32_t width = 0, height = 0, bits = 0;
};

std::string TakeClipboardDib() {
    size_t size = BrioHostClipboardGetDib(nullptr, 0);
    std::string dib(size, '\0');
    if (size) BrioHostClipboardGetDib(&dib[0], size);
    return dib;
}

// The path the library can open: the file itself, or standard input kept
// in a private work file.
std::string Readable(const std::string& path, WorkDir* work, const std::string& name) {
    if (path != "-") return path;
    std::string copy = work->File(name);
    WriteOutput(copy, ReadInput("-"));
    return copy;
}

Picture Open(const std::string& path, WorkDir* work) {
    Picture p;
    std::string local = Readable(path, work, "input");
    p.type = PictureType(ReadInput(local).substr(0, 16));
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(local.c_str(), 0);
    if (!handle) Fail(kInput, path + ": not a picture this tool can read (" + p.type + ")");
    auto* file = reinterpret_cast<HotspotFile*>(handle);
    p.dib = TakeClipboardDib();
    Hotspot h{};
    const char* binding = nullptr;
    int32_t length = 0;
    // The last call finds no more and releases the handle.
    while (FileGetHotspot(file, &h.top, &h.bottom, &h.left, &h.right, &h.kind, &binding, &length)) {
        h.binding.assign(binding ? binding : "", binding ? static_cast<size_t>(length) : 0);
        p.hotspots.push_back(h);
    }
    if (p.dib.size() >= 12) {
        if (U32(p.dib, 0) == 12) {
            p.width = static_cast<int32_t>(U16(p.dib, 4));
            p.height = static_cast<int32_t>(U16(p.dib, 6));
            p.bits = static_cast<int32_t>(U16(p.dib, 10));
        } else if (p.dib.size() >= 16) {
            p.width = static_cast<int32_t>(U32(p.dib, 4));
            p.height = std::abs(static_cast<int32_t>(U32(p.dib, 8)));
            p.bits = static_cast<int32_t>(U16(p.dib, 14));
        }
    }
    return p;
}

// A Windows bitmap file around a CF_DIB block.
std::string BitmapFile(const std::string& dib) {
    uint32_t header = U32(dib, 0);
    uint32_t bits = header == 12 ? U16(dib, 10) : U16(dib, 14);
    uint32_t colours = header == 12 ? 0 : U32(dib, 32);
    if (colours == 0 && bits <= 8) colours = 1u << bits;
    uint32_t table = colours * (header == 12 ? 3 : 4);
    if (header == 40 && U32(dib, 16) == 3) table += 12;  // BI_BITFIELDS masks
    // Clipboard blocks may be rounded up: keep only the bitmap's own bytes.
    uint64_t width = header == 12 ? U16(dib, 4) : U32(dib, 4);
    uint64_t height = header == 12 ? U16(dib, 6) : std::abs(static_cast<int32_t>(U32(dib, 8)));
    uint64_t size = header + table + (width * bits + 31) / 32 * 4 * height;
    std::string bytes = size < dib.size() ? dib.substr(0, static_cast<size_t>(size)) : dib;
    std::string out = "BM";
    Put32(out, static_cast<uint32_t>(14 + bytes.size()));
    Put32(out, 0);
    Put32(out, 14 + header + table);
    return out + bytes;
}

std::string OutputOption(const Args& args, const char* what,
                         const std::vector<std::string>& inputs) {
    if (!args.Has("-o")) Fail(kUsage, std::string("give the ") + what + " to write: -o OUT");
    std::string out = args.Value("-o");
    CheckOutputFile(out, "-o");
    RefuseOverwrite(inputs, out);
    return out;
}

int Info(const Args& args) {
    args.Only("picture info", {});
    args.Expect(2, 2, "brioutil picture info FILE [--json]");
    const std::string& path = args.Positional()[1];
    WorkDir work;
    Picture p = Open(path, &work);
    if (args.Flag("--json")) {
        std::cout << "{\"file\": " << JsonString(path) << ", \"type\": " << JsonString(p.type);
        if (p.dib.empty())
            std::cout << ", \"bitmap\": null";
        else
            std::cout << ", \"bitmap\": {\"width\": " << p.width << ", \"height\": " << p.height
                      << ", \"bits\": " << p.bits << "}";
        std::cout << ", \"hotspots\": [";
        for (size_t i = 0; i < p.hotspots.size(); ++i) {
            const Hotspot& h = p.hotspots[i];
            std::cout << (i ? ",\n  " : "\n  ") << "{\"left\": " << h.left << ", \"top\": " << h.top
                      << ", \"right\": " << h.right << ", \"bottom\": " << h.bottom
                      << ", \"kind\": \"" << KindName(h.kind)
                      << "\", \"binding\": " << JsonString(h.binding) << "}";
        }
        std::cout << (p.hotspots.empty() ? "]}\n" : "\n]}\n");
        return kOk;
    }
    std::cout << "file:     " << Printable(path) << "\ntype:     " << p.type << "\n";
    if (p.dib.empty())
        std::cout << "bitmap:   none (a metafile is not a bitmap)\n";
    else
        std::cout << "bitmap:   " << p.width << " x " << p.height << ", " << p.bits
                  << " bits per pixel\n";
    std::cout << "hotspots: " << p.hotspots.size() << "\n";
    if (!p.hotspots.empty()) std::cout << "# left\ttop\tright\tbottom\tkind\tbinding\n";
    for (const auto& h : p.hotspots)
        std::cout << h.left << "\t" << h.top << "\t" << h.right << "\t" << h.bottom << "\t"
                  << KindName(h.kind) << "\t" << Printable(h.binding) << "\n";
    return kOk;
}

int Extract(const Args& args) {
    args.Only("picture extract", {"-o"});
    args.Expect(2, 2, "brioutil picture extract FILE -o OUT.bmp");
    const std::string& path = args.Positional()[1];
    std::string out = OutputOption(args, "bitmap file", {path});
    WorkDir work;
    Picture p = Open(path, &work);
    if (p.dib.empty()) Fail(kInput, path + ": a metafile picture holds no bitmap");
    WriteOutput(out, BitmapFile(p.dib));
    std::ostream& log = out == "-" ? std::cerr : std::cout;
    if (args.Json())
        log << "{\"file\": " << JsonString(path) << ", \"output\": " << JsonString(out)
            << ", \"width\": " << p.width << ", \"height\": " << p.height << "}\n";
    else if (out != "-" && !args.Quiet())
        log << Printable(path) << ": " << p.width << " x " << p.height << " bitmap -> "
            << Printable(out) << "\n";
    return kOk;
}

int32_t Coordinate(const std::string& field, const std::string& where) {
    char* end = nullptr;
    long v = std::strtol(field.c_str(), &end, 10);
    if (field.empty() || *end || v < INT32_MIN || v > INT32_MAX)
        Fail(kInput, where + ": '" + field + "' is not a coordinate");
    return static_cast<int32_t>(v);
}

// Hotspot list: LEFT TOP RIGHT BOTTOM KIND BINDING per line (blank or tab
// separated; the binding is the rest of the line), '#' comments.
std::vector<Hotspot> ReadHotspots(const std::string& path) {
    std::istringstream in(ReadInput(path));
    std::vector<Hotspot> list;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        std::string where = path + ":" + std::to_string(number);
        std::string f[5];
        size_t pos = start;
        for (auto& field : f) {
            pos = line.find_first_not_of(" \t", pos);
            if (pos == std::string::npos)
                Fail(kInput, where + ": expected LEFT TOP RIGHT BOTTOM KIND BINDING");
            size_t end = line.find_first_of(" \t", pos);
            field = line.substr(pos, end == std::string::npos ? end : end - pos);
            pos = end == std::string::npos ? line.size() : end;
        }
        pos = line.find_first_not_of(" \t", pos);
        Hotspot h;
        h.left = Coordinate(f[0], where);
        h.top = Coordinate(f[1], where);
        h.right = Coordinate(f[2], where);
        h.bottom = Coordinate(f[3], where);
        if (f[4] == "jump" || f[4] == "0")
            h.kind = 0;
        else if (f[4] == "popup" || f[4] == "1")
            h.kind = 1;
        else if (f[4] == "macro" || f[4] == "2")
            h.kind = 2;
        else
            Fail(kInput, where + ": the kind must be jump, popup or macro, not '" + f[4] + "'");
        // A binding may be empty: pictures made elsewhere have such hotspots.
        h.binding = pos == std::string::npos ? "" : line.substr(pos);
        h.line = number;
        if (h.left > h.right || h.top > h.bottom)
            Fail(kInput, where + ": left must not exceed right, nor top bottom");
        list.push_back(h);
    }
    return list;
}

// Width and height of a CF_DIB block or a bitmap file's header; 0 when
// there is none.
void BitmapSize(const std::string& dib, int32_t* width, int32_t* height) {
    *width = *height = 0;
    if (dib.size() < 12) return;
    if (U32(dib, 0) == 12) {
        *width = static_cast<int32_t>(U16(dib, 4));
        *height = static_cast<int32_t>(U16(dib, 6));
    } else if (dib.size() >= 16) {
        *width = static_cast<int32_t>(U32(dib, 4));
        *height = std::abs(static_cast<int32_t>(U32(dib, 8)));
    }
}

int Build(const Args& args) {
    args.Only("picture build", {"-o"});
    args.Expect(3, 3, "brioutil picture build BITMAP HOTSPOTS -o OUT");
    const std::string& bitmapArg = args.Positional()[1];
    const std::string& list = args.Positional()[2];
    if (bitmapArg == "-" && list == "-") Fail(kUsage, "standard input can be read only once");
    std::string out = OutputOption(args, "picture file", {bitmapArg, list});
    std::vector<Hotspot> hotspots = ReadHotspots(list);
    WorkDir work;
    std::string bitmap = Readable(bitmapArg, &work, "bitmap");
    std::string bytes = ReadInput(bitmap);
    std::string head = bytes.substr(0, 16);
    int32_t width = 0, height = 0;
    BrioHostClipboardClear();
    if (U16(head, 0) == 0x4D42) {
        int32_t status = HotspotGetDIBBitmap(bitmap.c_str());
        if (status != BRIO_OK)
            Fail(kInput, bitmapArg + ": " +
                             (status == BRIO_ERR_BITMAP_OPEN
                                  ? std::string("cannot open")
                                  : std::string("not a bitmap the tool can use")));
        if (bytes.size() > 14) BitmapSize(bytes.substr(14), &width, &height);
    } else {
        // Another picture: its bitmap (the hotspots are replaced).
        std::string dib;
        if (FileGetBitmap(bitmap.c_str(), 1) == 0) dib = TakeClipboardDib();
        if (dib.empty()) Fail(kInput, bitmapArg + ": no bitmap in this file");
        BitmapSize(dib, &width, &height);
    }
    std::string target = out == "-" ? work.File("output") : out;
    HotspotFile* file = FileSetBitmap(target.c_str());
    if (!file) Fail(kInput, bitmapArg + ": the bitmap cannot be converted for a picture file");
    for (const auto& h : hotspots)
        FileSetHotspot(file, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str());
    int32_t status = FileWriteHotspots(file);
    FileCleanup(file);
    if (status == 4)
        Fail(kInput, out +
                         ": a picture file cannot hold these hotspots (more than 65,535, or "
                         "coordinates outside 16 bits)");
    if (status != 0)
        Fail(kInput, out + ": cannot write (file status " + std::to_string(status) + ")");
    if (out == "-") WriteOutput("-", ReadInput(target));
    std::vector<std::string> warnings;
    for (const auto& h : hotspots)
        if (width > 0 && (h.left < 0 || h.top < 0 || h.right > width || h.bottom > height))
            warnings.push_back(list + ":" + std::to_string(h.line) +
                               ": the hotspot reaches outside the " + std::to_string(width) +
                               " x " + std::to_string(height) + " picture");
    std::ostream& log = out == "-" ? std::cerr : std::cout;
    if (args.Json()) {
        log << "{\"bitmap\": " << JsonString(bitmapArg) << ", \"hotspots\": " << hotspots.size()
            << ", \"output\": " << JsonString(out) << ", \"warnings\": [";
        for (size_t i = 0; i < warnings.size(); ++i)
            log << (i ? ", " : "") << JsonString(warnings[i]);
        log << "]}\n";
        return kOk;
    }
    if (args.Quiet()) return kOk;
    for (const auto& w : warnings)
        std::cerr << "brioutil picture build: warning: " << Printable(w) << "\n";
    if (out != "-")
        log << Printable(bitmapArg) << " + " << hotspots.size() << " hotspots -> " << Printable(out)
            << "\n";
    return kOk;
}

// UTF-8 of Windows-1252 text, escaped for XML.
std::string XmlText(const std::string& text) {
    static const unsigned short k1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    for (unsigned char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c < 0x20)
            out += ' ';
        else if (c < 0x80)
            out += static_cast<char>(c);
        else {
            unsigned code = c < 0xA0 ? k1252[c - 0x80] : c;
            if (code < 0x800) {
                out += static_cast<char>(0xC0 | code >> 6);
            } else {
                out += static_cast<char>(0xE0 | code >> 12);
                out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            }
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                     static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out += kDigits[v >> s & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[v >> 18 & 63];
        out += kDigits[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

int Preview(const Args& args) {
    args.Only("picture preview", {"-o"});
    args.Expect(2, 2, "brioutil picture preview FILE -o OUT.svg");
    const std::string& path = args.Positional()[1];
    std::string out = OutputOption(args, "SVG file", {path});
    WorkDir work;
    Picture p = Open(path, &work);
    int32_t width = p.width, height = p.height;
    for (const auto& h : p.hotspots) {
        if (p.dib.empty() && h.right > width) width = h.right;
        if (p.dib.empty() && h.bottom > height) height = h.bottom;
    }
    if (width <= 0) width = 320;
    if (height <= 0) height = 240;
    // Small pictures are drawn larger, whole pixels kept, so labels fit.
    int32_t scale = width >= 480 ? 1 : std::min<int32_t>(8, 480 / width);
    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\""
        << width * scale << "\" height=\"" << height * scale << "\">\n<title>" << XmlText(path)
        << " (" << p.type << ", " << p.hotspots.size() << " hotspots)</title>\n";
    if (p.dib.empty()) {
        svg << "<rect width=\"100%\" height=\"100%\" fill=\"#eee\"/>\n"
            << "<text x=\"4\" y=\"14\" font-family=\"sans-serif\" font-size=\"11\" fill=\"#666\">"
               "metafile picture (not drawn)</text>\n";
    } else {
        svg << "<image x=\"0\" y=\"0\" width=\"" << p.width * scale << "\" height=\""
            << p.height * scale
            << "\" image-rendering=\"pixelated\" "
               "xlink:href=\"data:image/bmp;base64,"
            << Base64(BitmapFile(p.dib)) << "\"/>\n";
    }
    static const char* const kColour[] = {"#d00000", "#008000", "#0040d0"};
    for (size_t i = 0; i < p.hotspots.size(); ++i) {
        const Hotspot& h = p.hotspots[i];
        const char* colour = kColour[h.kind == 0 ? 0 : h.kind == 1 ? 1 : 2];
        std::string label = std::string(KindName(h.kind)) + ": " + XmlText(h.binding);
        svg << "<g id=\"hotspot-" << i + 1 << "\"><title>" << label << " (" << h.left << ","
            << h.top << ")-(" << h.right << "," << h.bottom << ")</title>\n"
            << "  <rect x=\"" << h.left * scale << "\" y=\"" << h.top * scale << "\" width=\""
            << (h.right - h.left) * scale << "\" height=\"" << (h.bottom - h.top) * scale
            << "\" fill=\"" << colour << "\" fill-opacity=\"0.2\" stroke=\"" << colour
            << "\" stroke-width=\"2\"/>\n"
            << "  <text x=\"" << h.left * scale + 3 << "\" y=\"" << h.top * scale + 13
            << "\" font-family=\"sans-serif\" font-size=\"12\" fill=\"" << colour << "\">" << label
            << "</text></g>\n";
    }
    svg << "</svg>\n";
    WriteOutput(out, svg.str());
    std::ostream& log = out == "-" ? std::cerr : std::cout;
    if (args.Json())
        log << "{\"file\": " << JsonString(path) << ", \"output\": " << JsonString(out)
            << ", \"hotspots\": " << p.hotspots.size() << "}\n";
    else if (out != "-" && !args.Quiet())
        log << Printable(path) << ": " << p.hotspots.size() << " hotspots drawn -> "
            << Printable(out) << "\n";
    return kOk;
}

}  // namespace

int RunPicture(const std::vector<std::string>& argv) {
    Args args(argv, {}, {"-o"});
    const auto& p = args.Positional();
    if (p.empty()) Fail(kUsage, "usage: brioutil picture info|extract|build|preview ...");
    if (p[0] == "info") return Info(args);
    if (p[0] == "extract") return Extract(args);
    if (p[0] == "build") return Build(args);
    if (p[0] == "preview") return Preview(args);
    Fail(kUsage, "unknown action '" + p[0] + "': use info, extract, build or preview");
}

}  // namespace cli
