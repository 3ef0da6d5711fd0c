#!/usr/bin/env python3
"""Random valid inputs for the brioutil tool, the same for the same seed.

One case is a folder holding:
  help.rtf          help-compiler RTF: topics separated by \\page, # $ K + !
                    footnotes, non-scrolling regions, hot spots, hidden text,
                    fields, escaped and 8-bit characters, \\u characters
  topics/           topic files in the authoring form (some already linked),
                    one in a subfolder
  terms.txt         Autolink references over words of those texts
  dummy.tsv         placeholder-topic properties
  hotspots.txt      a hotspot list for `picture build`
  picture.bmp       a Windows bitmap (1, 4, 8 or 24 bits; sometimes 16 or 32,
                    a core header or a top-down one)
  picture.shg       a bitmap group file with hotspots (a bitmap unpacked,
                    run-length or LZ packed, or a metafile)
  picture.wmf       a placeable metafile
  form.frm          a small form file
  phrases.txt       phrases to look for, one a line (ASCII, for command lines)

Words and font tables come from the RTF files of a corpus folder when there
is one; the text is always put together anew, never copied whole.

usage: random_inputs.py --seed N --cases N --out DIR [--corpus DIR]
"""

import argparse
import os
import random
import re
import struct

FALLBACK_WORDS = (
    "print printer page setup document window menu file edit view help topic index "
    "search find replace font colour colour table style paragraph margin border "
    "toolbar button dialog option setting folder drive network user password "
    "garden seed water bed row spring summer autumn winter map catalog plant"
).split()

FALLBACK_FONTS = [
    b"{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}",
    b"{\\fonttbl{\\f0\\fnil\\fcharset0 MS Sans Serif;}{\\f1\\fmodern\\fcharset0 Courier New;}"
    b"{\\f2\\froman\\fcharset2 Symbol;}}",
]


# ---------------------------------------------------------------------------
# Pieces of the corpus

def group_end(text, start):
    """Offset just past the group opening at `start`, or -1."""
    depth = 0
    i = start
    while i < len(text):
        c = text[i]
        if c == 0x5C:  # backslash: skip the escaped character
            i += 2
            continue
        if c == 0x7B:
            depth += 1
        elif c == 0x7D:
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    return -1


def visible_words(rtf):
    text = re.sub(rb"\{\\\*[^{}]*\}", b" ", rtf)
    text = re.sub(rb"\\'([0-9a-fA-F]{2})", lambda m: bytes([int(m.group(1), 16)]), text)
    text = re.sub(rb"\\[a-zA-Z]+-?[0-9]* ?", b" ", text)
    text = re.sub(rb"\\.", b" ", text)
    return re.findall(rb"[A-Za-z\xc0-\xd6\xd8-\xf6\xf8-\xff]{3,16}", text)


def corpus_pieces(corpus):
    words, fonts = set(), []
    folder = os.path.join(corpus, "rtf") if corpus else ""
    if folder and os.path.isdir(folder):
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as f:
                rtf = f.read()
            at = rtf.find(b"{\\fonttbl")
            end = group_end(rtf, at) if at >= 0 else -1
            if 0 < end - at < 3000:
                fonts.append(rtf[at:end])
            for w in visible_words(rtf[:200000]):
                words.add(w)
    words = sorted(w for w in words if not w.startswith(b"fonttbl"))
    if len(words) < 50:
        words = [w.encode() for w in FALLBACK_WORDS]
    return words, (fonts or FALLBACK_FONTS)


# ---------------------------------------------------------------------------
# Help RTF

class RtfMaker:
    def __init__(self, rng, words, fonts):
        self.rng = rng
        self.words = words
        self.fonts = fonts
        self.runs = []  # runs of consecutive words, for terms and phrases

    def word(self):
        w = self.rng.choice(self.words)
        r = self.rng.random()
        if r < 0.1:
            w = w.upper()
        elif r < 0.3:
            w = w[:1].upper() + w[1:]
        return w

    def nl(self):
        return self.rng.choice([b"\r\n", b"\n", b" ", b""])

    def symbol(self):
        r = self.rng
        return r.choice([
            b"\\'%02x" % r.randrange(0x80, 0x100),
            b"\\'%02X" % r.randrange(0x80, 0x100),
            bytes([r.randrange(0xa0, 0x100)]),
            b"\\u%d?" % r.choice([233, 8364, 8220, 8221, 1046, 20013, -3913]),
            b"\\{", b"\\}", b"\\\\", b"\\~", b"\\-", b"\\_", b"\\tab ", b"\\line ",
            b"\\emdash ", b"\\bullet ", b"\\endash ", b"\\lquote ", b"\\rquote ",
            b"(", b")", b"&", b";", b"\t", b"\x1a",
        ])

    def words_run(self, lo, hi):
        out, run = [], []
        for _ in range(self.rng.randint(lo, hi)):
            out.append(self.word())
            run.append(out[-1])
            if self.rng.random() < 0.08:
                out.append(self.symbol())
                self.runs.append(run)
                run = []
        self.runs.append(run)
        sep = b" " if self.rng.random() < 0.9 else self.rng.choice([b"  ", b" \r\n", b"\n"])
        return sep.join(out)

    def context(self):
        r = self.rng
        base = re.sub(rb"[^A-Za-z]", b"", self.rng.choice(self.words)).upper() or b"TOPIC"
        c = r.choice([b"IDH_", b"", b"hid_", b"Topic."]) + base + b"%d" % r.randrange(100)
        if r.random() < 0.05:
            c += bytes([r.randrange(0xc0, 0x100)])
        return c

    def inline(self, contexts, autolink_style):
        """One piece of body text."""
        r = self.rng
        k = r.randrange(16)
        target = r.choice(contexts) if contexts else b"NOWHERE"
        if k == 0:
            return b"{\\b " + self.words_run(1, 4) + b"}"
        if k == 1:
            return b"{\\i " + self.words_run(1, 3) + b"}"
        if k == 2:
            return b"{\\uldb " + self.words_run(1, 3) + b"}{\\v " + target + b"}"
        if k == 3:
            return b"{\\ul " + self.words_run(1, 2) + b"}{\\v " + target + b"}"
        if k == 4:
            return b"{\\v " + self.words_run(1, 3) + b"}"
        if k == 5:
            return b"\\{bmc picture.bmp\\}"
        if k == 6:
            return b"{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}"
        if k == 7 and autolink_style:
            return (b"{\\cs99\\uldb " + self.words_run(1, 2) + b"}{\\cs99\\v " + target + b"}")
        if k == 8:
            return b"\\f1 " + self.words_run(2, 6) + b"\\f0 "
        if k == 9:
            return b"{\\cf2\\fs18 " + self.words_run(1, 4) + b"}"
        if k == 10:
            return self.symbol()
        if k == 11:
            return b"\\par" + self.nl()
        if k == 12:
            return b"{\\*\\bkmkstart x}{\\*\\bkmkend x}"
        return self.words_run(3, 12)

    def body(self, contexts, autolink_style, pieces):
        out = [b"\\pard\\plain\\f0\\fs20 "]
        for _ in range(pieces):
            out.append(self.inline(contexts, autolink_style))
            out.append(self.rng.choice([b" ", b" ", b"", self.nl()]))
        out.append(b"\\par" + self.nl())
        return b"".join(out)

    def header(self, autolink_style):
        r = self.rng
        h = b"{\\rtf1\\ansi" + r.choice([b"", b"\\ansicpg1252", b"\\ansicpg1252\\uc1"])
        h += b" \\deff0"
        h += r.choice(self.fonts) + self.nl()
        if r.random() < 0.7:
            h += (b"{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;"
                  b"\\red0\\green128\\blue0;}" + self.nl())
        if autolink_style:
            h += (b"{\\stylesheet{\\fs20 \\snext0 Normal;}{\\*\\cs10 \\additive Default Paragraph"
                  b" Font;}{\\*\\cs99 \\additive\\uldb\\cf2 Autolink;}}" + self.nl())
        elif r.random() < 0.5:
            h += b"{\\stylesheet{\\fs20 \\snext0 Normal;}}" + self.nl()
        if r.random() < 0.3:
            h += b"{\\info{\\title " + self.words_run(1, 3) + b"}}" + self.nl()
        return h

    def footnote(self, mark, text):
        style = self.rng.randrange(3)
        if style == 0:
            return mark + b"{\\footnote " + mark + b" " + text + b"}" + self.nl()
        if style == 1:
            return (b"{\\super " + mark + b"{\\footnote {\\super " + mark + b"}{ " + text + b"}}}" +
                    self.nl())
        return mark + b"{\\footnote " + text + b"}" + self.nl()

    def help_file(self):
        r = self.rng
        n = r.randint(1, 6)
        contexts = [self.context() for _ in range(n)]
        style = r.random() < 0.3
        out = [self.header(style)]
        for i in range(n):
            if i:
                out.append(b"\\page" + r.choice([b"\r\n", b"\n", b" "]))
            marks = []
            if i == 0 or r.random() < 0.9:
                marks.append((b"#", contexts[i]))
            if r.random() < 0.8:
                marks.append((b"$", self.words_run(1, 4)))
            for _ in range(r.randrange(3)):
                kws = b";".join(self.words_run(1, 2) for _ in range(r.randint(1, 3)))
                marks.append((b"K", kws))
            if r.random() < 0.5:
                marks.append((b"+", b"main:%03d" % r.randrange(1000)))
            if r.random() < 0.3:
                marks.append((b"!", b"CloseWindow(`main')"))
            if r.random() < 0.3:
                r.shuffle(marks)
            out.extend(self.footnote(m, t) for m, t in marks)
            if r.random() < 0.5:
                out.append(b"{\\keepn\\b\\fs24 " + self.words_run(1, 4) + b"\\par}" + self.nl())
            out.append(self.body(contexts, style, r.randint(2, 14)))
        out.append(b"}" + self.nl())
        return b"".join(out), contexts

    def topic_file(self, contexts):
        style = self.rng.random() < 0.6
        return (self.header(style) + self.body(contexts, style, self.rng.randint(3, 20)) + b"}" +
                self.nl())


def ascii_words(words):
    return [w for w in words if re.fullmatch(rb"[A-Za-z]+", w)]


def phrase(rng, runs, ascii_only):
    """Up to three consecutive words of the text."""
    runs = [r for r in runs if r and (not ascii_only or ascii_words(r) == r)]
    if not runs:
        return b"print"
    run = rng.choice(runs)
    n = min(len(run), rng.choice([1, 1, 2, 2, 3]))
    at = rng.randrange(len(run) - n + 1)
    words = run[at:at + n]
    if rng.random() < 0.3:
        words = [w.lower() for w in words]
    return b" ".join(words)


def terms_file(rng, runs, contexts):
    lines = [b"# term\tsynonyms\ttarget\tkind\tcase\texclude"]
    seen = set()
    for _ in range(rng.randint(3, 12)):
        # A word or phrase is registered once: a second target would conflict.
        names = [phrase(rng, runs, False) for _ in range(rng.randint(1, 3))]
        names = [n for n in names if not (n.lower() in seen or seen.add(n.lower()))]
        if not names:
            continue
        term, synonyms = names[0], b";".join(names[1:])
        exclude = rng.random() < 0.1
        target = b"" if exclude and rng.random() < 0.5 else rng.choice(contexts)
        fields = [term, synonyms, target, rng.choice([b"jump", b"popup", b""]),
                  rng.choice([b"yes", b"no", b""]), b"yes" if exclude else b""]
        while fields and fields[-1] == b"" and len(fields) > 3:
            fields.pop()
        lines.append(b"\t".join(fields))
    return b"\n".join(lines) + b"\n"


def dummy_file(rng, maker):
    columns = [b"context", b"title", b"macro", b"keywords", b"browse", b"body", b"keepn"]
    rng.shuffle(columns)
    columns = columns[:rng.randint(3, 7)]
    if b"context" not in columns:
        columns.append(b"context")
    rows = [b"\t".join(columns)]
    for _ in range(rng.randint(1, 5)):
        cell = {
            b"context": maker.context(),
            b"title": maker.words_run(1, 3),
            b"macro": rng.choice([b"", b"CloseWindow(`main')"]),
            b"keywords": b"|".join(maker.words_run(1, 2) for _ in range(rng.randrange(3))),
            b"browse": rng.choice([b"", b"main:010", b"b:%d" % rng.randrange(99)]),
            b"body": rng.choice([b"", b"C:\\temp {x}", b"Hello", b"-1 \\x"]) + b" " +
            maker.words_run(0, 5),
            b"keepn": rng.choice([b"", b"yes", b"no", b"1"]),
        }
        rows.append(b"\t".join(cell[c].replace(b"\t", b" ").replace(b"\r", b"")
                               .replace(b"\n", b" ") for c in columns))
    return b"\n".join(rows) + b"\n"


def form_file(rng, maker):
    nl = rng.choice([b"\r\n", b"\n"])
    lines = [b"VERSION 5.00", b"Begin VB.Form Main", b"   Caption = \"%s\"" % maker.word(),
             b"   ClientHeight = %d" % rng.randrange(5000),
             b"   Begin VB.CommandButton Ok", b"      Caption = \"OK\"",
             b"      TabIndex = %d" % rng.randrange(10), b"   End", b"End"]
    return nl.join(lines) + (nl if rng.random() < 0.8 else b"")


# ---------------------------------------------------------------------------
# Pictures

def pixels(rng, width, height, bits, colours):
    row = (width * bits + 31) // 32 * 4
    used = (width * bits + 7) // 8
    pattern = rng.randrange(4)
    top = max(1, colours) if bits <= 8 else 256
    out = bytearray()
    for y in range(height):
        if pattern == 0:
            line = bytes(rng.randrange(256) for _ in range(used))
        elif pattern == 1:
            line = bytes([rng.randrange(256)]) * used
        elif pattern == 2:
            line = bytes((x // 5 + y) % 256 for x in range(used))
        else:
            line = bytearray()
            while len(line) < used:
                line += bytes([rng.randrange(256)]) * rng.randint(1, 12)
            line = bytes(line[:used])
        if bits <= 8 and colours and colours < (1 << bits):
            # Indices below the colour count only.
            per = 8 // bits
            fixed = bytearray()
            for b in line:
                v = 0
                for k in range(per):
                    v = (v << bits) | ((b >> (bits * (per - 1 - k))) & ((1 << bits) - 1)) % top
                fixed.append(v)
            line = bytes(fixed)
        out += line + bytes(row - used)
    return bytes(out)


def bitmap(rng):
    bits = rng.choice([1, 4, 8, 24, 1, 4, 8, 24, 16, 32])
    width, height = rng.randint(1, 120), rng.randint(1, 90)
    core = bits <= 8 and rng.random() < 0.15
    colours = 0
    if bits <= 8:
        colours = 1 << bits
        if not core and bits == 8 and rng.random() < 0.3:
            colours = rng.randint(2, 255)
    table = b"".join(bytes([rng.randrange(256), rng.randrange(256), rng.randrange(256)]) +
                     (b"" if core else b"\0") for _ in range(colours))
    data = pixels(rng, width, height, bits, colours)
    if core:
        header = struct.pack("<IHHHH", 12, width, height, 1, bits)
    else:
        top_down = rng.random() < 0.1
        size_image = len(data) if rng.random() < 0.5 else 0
        header = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits,
                             0, size_image, rng.choice([0, 2835, 3780]),
                             rng.choice([0, 2835, 3780]),
                             0 if colours == (1 << bits) or bits > 8 else colours, 0)
    offset = 14 + len(header) + len(table)
    return (b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + header + table +
            data, width, height)


def compact16(v):
    return struct.pack("<B", v * 2) if v < 0x80 else struct.pack("<H", v * 2 + 1)


def compact32(v):
    return struct.pack("<H", v * 2) if v < 0x8000 else struct.pack("<I", v * 2 + 1)


def pack_rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and data[i + run] == data[i] and run < 127:
            run += 1
        if run >= 3:
            out += bytes([run, data[i]])
            i += run
            continue
        start = i
        while i < len(data) and i - start < 127:
            if i + 2 < len(data) and data[i] == data[i + 1] == data[i + 2]:
                break
            i += 1
        out += bytes([0x80 | (i - start)]) + data[start:i]
    return bytes(out)


def pack_lz(data):
    out = bytearray()
    items = []
    table = {}
    i = 0
    while i < len(data):
        best_len, best_dist = 0, 0
        key = data[i:i + 3]
        for j in reversed(table.get(key, [])[-16:]):
            if i - j > 4096:
                continue
            n = 0
            while n < 18 and i + n < len(data) and data[j + n] == data[i + n]:
                n += 1
            if n > best_len:
                best_len, best_dist = n, i - j
        if best_len >= 3:
            items.append(struct.pack("<H", (best_dist - 1) | ((best_len - 3) << 12)))
            step = best_len
        else:
            items.append(data[i:i + 1])
            step = 1
        for k in range(i, i + step):
            table.setdefault(data[k:k + 3], []).append(k)
        i += step
    for g in range(0, len(items), 8):
        chunk = items[g:g + 8]
        flags = sum(1 << k for k, item in enumerate(chunk) if len(item) == 2)
        out.append(flags)
        for item in chunk:
            out += item
    return bytes(out)


def binding(rng, maker):
    r = rng.randrange(6)
    ctx = maker.context()
    if r == 0:
        return ctx + b">" + rng.choice([b"main", b"second", b"proc4"])
    if r == 1:
        return ctx + b"@" + rng.choice([b"other.hlp", b"c:\\help\\x.hlp"])
    if r == 2:
        return b"JumpId(`other.hlp',`" + ctx + b"')"
    if r == 3:
        return b" " + maker.words_run(1, 3) + b" "
    return ctx


def hotspot_block(rng, maker, width, height):
    count = rng.randint(0, 6)
    entries, strings = bytearray(), bytearray()
    for i in range(count):
        kind = rng.choice([231, 230, 0xE3, 0xE2, 200, 204, 235, 239])
        left, top = rng.randrange(max(1, width)), rng.randrange(max(1, height))
        w, h = rng.randint(0, 60), rng.randint(0, 40)
        entries += struct.pack("<BBBhhhhI", kind, rng.choice([0, 4]), 0, left, top, w, h,
                               rng.randrange(1 << 32))
        strings += b"hs%d\0" % i + binding(rng, maker)[:200].replace(b"\0", b"") + b"\0"
    return struct.pack("<BHI", 1, count, 0) + entries + strings


def stored_picture(rng, maker):
    """One picture record of a group file and its width and height."""
    packing = rng.choice([0, 1, 2])
    pack = {0: lambda d: d, 1: pack_rle, 2: pack_lz}[packing]
    if rng.random() < 0.2:
        wmf = metafile_records(rng)
        stored = pack(wmf)
        hs = hotspot_block(rng, maker, 200, 150)
        head = (bytes([8, packing]) + compact16(8) + struct.pack("<HH", rng.randint(1, 3000),
                                                                 rng.randint(1, 3000)) +
                compact32(len(wmf)) + compact32(len(stored)) + compact32(len(hs)))
        data_at = len(head) + 8
        return head + struct.pack("<II", data_at, data_at + len(stored)) + stored + hs, 200, 150
    bits = rng.choice([1, 4, 8, 24])
    width, height = rng.randint(1, 100), rng.randint(1, 80)
    colours = (1 << bits) if bits <= 8 else 0
    data = pixels(rng, width, height, bits, colours)
    stored = pack(data)
    hs = hotspot_block(rng, maker, width, height)
    table = bytes(rng.randrange(256) for _ in range(4 * colours))
    head = (bytes([rng.choice([6, 6, 6, 5]), packing]) + compact32(rng.choice([96, 72, 120])) +
            compact32(96) + compact16(1) + compact16(bits) + compact32(width) + compact32(height) +
            compact32(colours) + compact32(0) + compact32(len(stored)) + compact32(len(hs)))
    data_at = len(head) + 8 + len(table)
    return (head + struct.pack("<II", data_at, data_at + len(stored) if hs else 0) + table +
            stored + hs, width, height)


def group_file(rng, maker):
    pictures = [stored_picture(rng, maker)[0] for _ in range(rng.choice([1, 1, 1, 2]))]
    at = 4 + 4 * len(pictures)
    index = struct.pack("<HH", rng.choice([0x706C, 0x506C]), len(pictures))
    for p in pictures:
        index += struct.pack("<I", at)
        at += len(p)
    return index + b"".join(pictures)


def metafile_records(rng):
    records = [struct.pack("<IHhh", 5, 0x020B, 0, 0),
               struct.pack("<IHhh", 5, 0x020C, rng.randint(1, 500), rng.randint(1, 500))]
    for _ in range(rng.randint(0, 6)):
        func = rng.choice([0x041B, 0x0418])
        records.append(struct.pack("<IHhhhh", 7, func, *(rng.randint(0, 500) for _ in range(4))))
    records.append(struct.pack("<IH", 3, 0))
    body = b"".join(records)
    words = 9 + len(body) // 2
    return struct.pack("<HHHIHIH", 1, 9, 0x0300, words, 0, 7, 0) + body


def placeable_metafile(rng):
    left, top = rng.randint(-100, 100), rng.randint(-100, 100)
    right, bottom = left + rng.randint(1, 4000), top + rng.randint(1, 4000)
    inch = rng.choice([96, 576, 1000, 1440, 2540, 7])
    head = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0)
    check = 0
    for (w,) in struct.iter_unpack("<H", head):
        check ^= w
    return head + struct.pack("<H", check) + metafile_records(rng)


def hotspot_list(rng, maker, width, height):
    nl = rng.choice([b"\n", b"\r\n"])
    lines = [b"# left top right bottom kind binding"]
    for _ in range(rng.randint(0, 8)):
        left, top = rng.randrange(width + 1), rng.randrange(height + 1)
        right, bottom = left + rng.randrange(80), top + rng.randrange(60)
        sep = rng.choice([b" ", b"\t", b"  "])
        lines.append(sep.join([b"%d" % left, b"%d" % top, b"%d" % right, b"%d" % bottom,
                               rng.choice([b"jump", b"popup", b"macro", b"0", b"1", b"2"]),
                               binding(rng, maker).strip() or b"X"]))
    return nl.join(lines) + nl


# ---------------------------------------------------------------------------

def make_case(seed, case, words, fonts, folder):
    rng = random.Random(seed * 1000003 + case)
    maker = RtfMaker(rng, words, fonts)
    files = {}
    files["help.rtf"], contexts = maker.help_file()
    names = ["Alpha.rtf", "beta.RTF", "more/gamma.rtf", "Delta-2.rtf"][:rng.randint(1, 4)]
    for name in names:
        files["topics/" + name] = maker.topic_file(contexts)
    files["terms.txt"] = terms_file(rng, maker.runs, contexts)
    files["dummy.tsv"] = dummy_file(rng, maker)
    bmp, width, height = bitmap(rng)
    files["picture.bmp"] = bmp
    files["hotspots.txt"] = hotspot_list(rng, maker, width, height)
    files["picture.shg"] = group_file(rng, maker)
    files["picture.wmf"] = placeable_metafile(rng)
    files["form.frm"] = form_file(rng, maker)
    phrases = [phrase(rng, maker.runs, True) for _ in range(2)]
    files["phrases.txt"] = b"\n".join(phrases) + b"\n"
    for name, data in files.items():
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return sorted(files)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--cases", type=int, default=1)
    parser.add_argument("--out", required=True)
    parser.add_argument("--corpus", default=os.path.join(here, "..", "..", "shared", "corpus"))
    args = parser.parse_args()
    words, fonts = corpus_pieces(args.corpus)
    for case in range(args.cases):
        make_case(args.seed, case, words, fonts, os.path.join(args.out, "%03d" % case))


if __name__ == "__main__":
    main()
