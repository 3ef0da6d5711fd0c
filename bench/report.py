#!/usr/bin/env python3
"""Turns the benchmark programs' JSON output and the peer timings into one
Markdown table of throughput, growth with size, peers and targets.

    report.py RESULTS_DIR
reads RESULTS_DIR/*.json (Google Benchmark) and RESULTS_DIR/peers.json."""
import json
import pathlib
import sys

MB = 1 << 20


def load(folder):
    runs = {}
    for path in sorted(folder.glob("*_bench.json")):
        for b in json.load(open(path))["benchmarks"]:
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            if b.get("error_occurred"):
                runs[b["run_name"]] = {"error": b.get("error_message", "failed")}
                continue
            runs[b["run_name"]] = b
    return runs


def rate(runs, name):
    """MB/s of one run, or None."""
    b = runs.get(name)
    if not b or "bytes_per_second" not in b:
        return None
    return b["bytes_per_second"] / MB


def seconds(runs, name):
    b = runs.get(name)
    if not b or "real_time" not in b:
        return None
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
    return b["real_time"] * scale


def fmt(x, digits=0):
    return "–" if x is None else f"{x:,.{digits}f}"


def verdict(ok):
    return "–" if ok is None else ("met" if ok else "**missed**")


def main():
    folder = pathlib.Path(sys.argv[1])
    runs = load(folder)
    peers = json.load(open(folder / "peers.json")) if (folder / "peers.json").exists() else {}
    out = []
    sizes = [1, 4, 16, 64]
    targets = []

    out.append("## Help RTF passes (input of 1 to 64 MB)\n")
    out.append("| operation | " + " | ".join(f"{s} MB" for s in sizes) +
               " | growth 1→64 MB | 64 MB vs 16 MB time | target |")
    out.append("|---|" + "---:|" * len(sizes) + "---:|---:|---|")
    rtf_ops = [
        ("topic_bench", "BM_TopicFindText", "TopicFindText", 300),
        ("topic_bench", "BM_TopicEmitRtfFile", "TopicEmitRtfFile", 300),
        ("topic_bench", "BM_TopicImportString", "TopicImportString", None),
        ("autolink_bench", "BM_AutolinkRemovePassThrough", "AutolinkRemove, unlinked text", 300),
        ("autolink_bench", "BM_AutolinkRemove", "AutolinkRemove, linked text", None),
        ("autolink_bench", "BM_Autolink", "Autolink, 10,000 terms", 60),
        ("topic_bench", "BM_TopicFindTextWordDenseLate",
         "TopicFindText, word-dense text, phrase near the end", 400),
        ("topic_bench", "BM_TopicFindTextWordDenseAbsent",
         "TopicFindText, word-dense text, phrase absent", 400),
        ("autolink_bench", "BM_AutolinkTermDense", "Autolink, term-dense text, 10,000 terms", 60),
        ("autolink_bench", "BM_AutolinkTermDenseFirstRun",
         "Autolink, term-dense text, a dictionary's first run", None),
        ("topic_bench", "BM_Memcpy", "memcpy (reference)", None),
    ]
    for _, bench, label, floor in rtf_ops:
        rates = [rate(runs, f"{bench}/{s}") for s in sizes]
        t = {s: seconds(runs, f"{bench}/{s}") for s in sizes}
        growth = ratio64 = None
        if rates[0] and rates[-1]:
            growth = rates[0] / rates[-1]
        if t[16] and t[64]:
            ratio64 = t[64] / t[16]
        linear_ok = None if ratio64 is None else ratio64 <= 1.25 * 4
        text = []
        if floor is not None:
            ok = None if rates[-1] is None else min(r for r in rates if r) >= floor
            text.append(f"≥ {floor} MB/s: {verdict(ok)}")
            targets.append((f"{label} ≥ {floor} MB/s at every size", ok))
        if bench != "BM_Memcpy":
            text.append(f"linear: {verdict(linear_ok)}")
            targets.append((f"{label} linear (64 MB within 5.0 × the 16 MB time)", linear_ok))
        out.append(f"| {label} | " + " | ".join(fmt(r) for r in rates) +
                   f" | {fmt(growth, 2)} | {fmt(ratio64, 2)} | {'; '.join(text)} |")
    out.append("\nMB/s of input; growth is time per byte at 64 MB over time per byte at 1 MB "
               "(1.00 is linear). Word-dense and term-dense text is generated help RTF of "
               "short words; the terms of the term-dense rows are 1-3 words of its "
               "5,000-word vocabulary.\n")

    out.append("## Peers, same input, same run\n")
    out.append("| comparison | size | brioutil MB/s | peer MB/s | brioutil / peer |")
    out.append("|---|---:|---:|---:|---:|")
    unrtf = peers.get("unrtf", {})
    unrtf_failed = peers.get("unrtf_failed", {})
    unrtf_ratios = []
    for s in sizes:
        ours = rate(runs, f"BM_TopicFindText/{s}")
        theirs = unrtf.get(str(s))
        peer_rate = s * MB / theirs / MB if theirs else None
        r = ours / peer_rate if ours and peer_rate else None
        if r is not None:
            unrtf_ratios.append(r)
        peer_text = f"failed: {unrtf_failed[str(s)]}" if str(s) in unrtf_failed else fmt(peer_rate, 1)
        out.append(f"| TopicFindText vs `unrtf --text` | {s} MB | {fmt(ours)} | {peer_text} | "
                   f"{fmt(r, 1)} × |")
    targets.append(("TopicFindText ≥ 10 × unrtf --text at every size unrtf completes",
                    min(unrtf_ratios) >= 10 if unrtf_ratios else None))
    for s in sizes:
        ours = rate(runs, f"BM_AutolinkRemovePassThrough/{s}")
        floor = rate(runs, f"BM_MemcpyFresh/{s}")
        r = ours / floor if ours and floor else None
        out.append(f"| AutolinkRemove (unlinked) vs memcpy into a fresh buffer | {s} MB | "
                   f"{fmt(ours)} | {fmt(floor)} | {fmt(r, 3)} × |")
    for side in [64, 256, 1024, 4000]:
        floor = rate(runs, f"BM_MemcpyPixels/{side}")
        for bench in ["BM_LzDecompress", "BM_UnpackRle"]:
            ours = rate(runs, f"{bench}/{side}")
            r = ours / floor if ours and floor else None
            out.append(f"| {bench[3:]} vs memcpy of its output | {side} × {side} | {fmt(ours)} | "
                       f"{fmt(floor)} | {fmt(r, 3)} × |")
    out.append("")

    out.append("## Pictures (square, 24 bits per pixel)\n")
    sides = [64, 256, 1024, 4000]
    out.append("| operation | " + " | ".join(f"{s}²" for s in sides) + " | growth 64²→4000² |")
    out.append("|---|" + "---:|" * len(sides) + "---:|")
    for bench, label in [("BM_LzDecompress", "LzDecompress"), ("BM_UnpackRle", "UnpackRle"),
                         ("BM_PackRle", "PackRle"),
                         ("BM_OpenGroupFileToClipboard", "FileGetBitmap to the clipboard"),
                         ("BM_MemcpyPixels", "memcpy (reference)")]:
        rates = [rate(runs, f"{bench}/{s}") for s in sides]
        growth = rates[0] / rates[-1] if rates[0] and rates[-1] else None
        out.append(f"| {label} | " + " | ".join(fmt(r) for r in rates) + f" | {fmt(growth, 2)} |")
    lz = [rate(runs, f"BM_LzDecompress/{s}") for s in sides]
    targets.append(("LzDecompress ≥ 1 GB/s at every size",
                    None if None in lz else min(lz) >= 1024))
    out.append("\nMB/s of pixel bytes (the decoders' output).\n")

    out.append("## Autolink and the size of the dictionary (16 MB of text)\n")
    counts = [100, 1000, 10000, 100000]
    out.append("| terms | " + " | ".join(f"{c:,}" for c in counts) + " | 100,000 vs 100 |")
    out.append("|---|" + "---:|" * len(counts) + "---:|")
    for bench, label in [("BM_AutolinkTerms", "terms sharing first words with the text"),
                         ("BM_AutolinkTermsApart", "terms apart from the text")]:
        rates = [rate(runs, f"{bench}/{c}") for c in counts]
        change = rates[0] / rates[-1] - 1 if rates[0] and rates[-1] else None
        out.append(f"| {label} | " + " | ".join(fmt(r) for r in rates) +
                   f" | {'–' if change is None else f'{change:+.0%} time'} |")
        targets.append((f"Autolink flat within ±25 % from 100 to 100,000 {label}",
                        None if change is None else abs(change) <= 0.25))
    dict_mb = runs.get("BM_DictionaryMemory/100000/iterations:1", {}).get("MB")
    out.append(f"\nA dictionary of 100,000 terms holds {fmt(dict_mb, 1)} MB of heap.\n")

    out.append("## Peak memory of Autolink (10,000 terms)\n")
    out.append("| input | peak above the input and dictionary | limit 3 × input + 16 MB | |")
    out.append("|---:|---:|---:|---|")
    for s in [16, 64]:
        b = runs.get(f"BM_AutolinkPeakMemory/{s}/iterations:1", {})
        peak, limit = b.get("peak_MB"), b.get("limit_MB")
        ok = None if peak is None else peak <= limit
        out.append(f"| {fmt(b.get('input_MB'), 1)} MB | {fmt(peak, 1)} MB | {fmt(limit, 1)} MB | "
                   f"{verdict(ok)} |")
        targets.append((f"Autolink peak memory at {s} MB ≤ 3 × input + 16 MB", ok))
    out.append("")

    out.append("## Targets\n")
    for label, ok in targets:
        out.append(f"- {verdict(ok)}: {label}")
    missed = [label for label, ok in targets if ok is False]
    out.append("")
    out.append(f"{len(targets) - len(missed)} of {len(targets)} targets met"
               + (f"; missed: {'; '.join(missed)}" if missed else "") + ".")
    print("\n".join(out))


if __name__ == "__main__":
    main()
