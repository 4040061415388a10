#!/usr/bin/env python3
"""Turns the Google Benchmark JSON files of one scripts/bench run into the
figures table: every figure beside its baseline from the same run, the ratio
and the target.

    bench/figures.py OUT_DIR [PERFORMANCE_MD]

Reads OUT_DIR/{json_parse,requests,walks,share_filter,memory,machine}.json,
writes OUT_DIR/figures.json and OUT_DIR/figures.md, and replaces every block
between "<!-- figures:begin -->" and "<!-- figures:end -->" in PERFORMANCE_MD
with the table.
"""

import json
import os
import re
import sys

UNIT_TO_US = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def key_of(run_name):
    """BM_X/1000/iterations:4/real_time/threads:8 -> BM_X/1000/threads:8"""
    parts = [p for p in run_name.split("/")
             if not re.match(r"^(iterations:\d+|real_time|min_time:.*|repeats:\d+)$", p)]
    return "/".join(parts)


def load(path):
    """name -> record; the median aggregate when there are repetitions."""
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    runs, medians = {}, {}
    for b in data.get("benchmarks", []):
        if b.get("error_occurred"):
            continue
        key = key_of(b.get("run_name", b["name"]))
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[key] = b
        else:
            runs.setdefault(key, b)
    runs.update(medians)
    return runs


def us(record):
    return record["real_time"] * UNIT_TO_US[record.get("time_unit", "ns")]


def cpu_us(record):
    return record["cpu_time"] * UNIT_TO_US[record.get("time_unit", "ns")]


def fmt_time(value_us):
    if value_us >= 1e4:
        return "%.0f ms" % (value_us / 1e3)
    if value_us >= 1e3:
        return "%.2f ms" % (value_us / 1e3)
    return "%.1f µs" % value_us


def main():
    out = sys.argv[1]
    doc = sys.argv[2] if len(sys.argv) > 2 else None
    parse = load(os.path.join(out, "json_parse.json"))
    req = load(os.path.join(out, "requests.json"))
    walks = load(os.path.join(out, "walks.json"))
    shares = load(os.path.join(out, "share_filter.json"))
    memory = load(os.path.join(out, "memory.json"))
    machine = {}
    if os.path.exists(os.path.join(out, "machine.json")):
        with open(os.path.join(out, "machine.json")) as f:
            machine = json.load(f)

    rows = []  # (id, figure, measured, baseline, ratio text, target, met, values)

    def add(ident, figure, measured, baseline, ratio, target, met, **values):
        rows.append({"id": ident, "figure": figure, "measured": measured, "baseline": baseline,
                     "ratio": ratio, "target": target, "met": met, "values": values})

    # 1. Parsing: MB/s by CPU time (the machine is shared; CPU time leaves out
    # the time other processes took).
    for label, name, records in (("10,000 file systems", "FileSystems", "file systems"),
                                 ("20,000 shares with settings", "Shares", "shares"),
                                 ("50,000 snapshots", "Snapshots", "snapshots"),
                                 ("20,000 directories", "Directories", "directories")):
        p, b = parse.get("BM_%s_Parse" % name), parse.get("BM_%s_Bare" % name)
        if not p or not b:
            continue
        mp, mb = p["bytes_per_second"] / 1e6, b["bytes_per_second"] / 1e6
        ratio = mp / mb
        add("1", "Parsing, %s: `parseResponse`" % label, "%.0f MB/s" % mp,
            "bare simdjson parse %.0f MB/s" % mb, "%.0f %%" % (100 * ratio), ">= 40 %",
            ratio >= 0.40, parse_mb_s=mp, bare_mb_s=mb, ratio=ratio)

    # 2. Request overhead.
    f, k = req.get("BM_Requests_Facade"), req.get("BM_Requests_Raw_KeepAlive")
    if f and k:
        ratio = us(f) / us(k)
        add("2", "Request overhead: `getFileSystemsInfo` for one file system, facade",
            "%s / request" % fmt_time(us(f)), "raw libcurl, one connection %s" % fmt_time(us(k)),
            "%.2fx" % ratio, "<= 1.25x", ratio <= 1.25, facade_us=us(f), raw_keepalive_us=us(k),
            ratio=ratio, connections=f.get("connections"))
        for name, label in (("BM_Requests_Session", "`HNASRestAPI::get` alone (no parse)"),
                            ("BM_Requests_Raw_NewHandleSharedCache",
                             "raw, new easy handle per request sharing the caches"),
                            ("BM_Requests_Raw_NewConnection",
                             "raw, new connection and TLS handshake per request")):
            r = req.get(name)
            if r:
                ratio = us(r) / us(k)
                add("2", "Request overhead: " + label, "%s / request" % fmt_time(us(r)),
                    "raw libcurl, one connection %s" % fmt_time(us(k)), "%.2fx" % ratio,
                    "(reference)", None, us=us(r), ratio=ratio)

    # 3. Walks.
    for n in ("1000",):
        f, r = walks.get("BM_Walk_AllSnapshots_Facade/" + n), walks.get("BM_Walk_AllSnapshots_Raw/" + n)
        if f and r:
            ratio = us(f) / us(r)
            add("3", "Walk: `getAllSnapshots` over 1,000 file systems (1,001 requests)",
                fmt_time(us(f)), "same requests raw, one connection %s" % fmt_time(us(r)),
                "%.2fx" % ratio, "<= 1.25x", ratio <= 1.25, facade_us=us(f), raw_us=us(r),
                ratio=ratio, connections=f.get("connections"))
    f, r = walks.get("BM_Walk_Directories_Facade"), walks.get("BM_Walk_Directories_Raw")
    if f and r:
        ratio = us(f) / us(r)
        add("3", "Walk: `getFileSystemDirectoriesUnderPath`, 10 levels below the root (11 requests)",
            fmt_time(us(f)), "same requests raw, one connection %s" % fmt_time(us(r)),
            "%.2fx" % ratio, "<= 1.25x", ratio <= 1.25, facade_us=us(f), raw_us=us(r), ratio=ratio)

    # 4. Scaling: time at 2x and 4x over time at 1x; linear is 2 and 4. Met
    # when the cost per item at 4x is within 25 % of that at 1x.
    def scaling(label, records, sizes, unit):
        base = records.get(sizes[0])
        if not base:
            return
        times = [us(records[s]) if s in records else None for s in sizes]
        if None in times:
            return
        r2, r4 = times[1] / times[0], times[2] / times[0]
        add("4", label, " / ".join(fmt_time(t) for t in times),
            "1x: %s" % unit, "2x: %.2f, 4x: %.2f" % (r2, r4), "linear (2, 4)", r4 <= 5.0,
            times_us=times, ratio_2x=r2, ratio_4x=r4)

    scaling("Scaling: share filter 20,000 x 10,000 at 1x / 2x / 4x",
            {s: shares.get("BM_Shares_Filter/" + s) for s in ("20000", "40000", "80000")
             if shares.get("BM_Shares_Filter/" + s)},
            ["20000", "40000", "80000"], "20,000 listed, 10,000 names")
    scaling("Scaling: `getAllSnapshots` at 1x / 2x / 4x",
            {s: walks.get("BM_Walk_AllSnapshots_Facade/" + s) for s in ("1000", "2000", "4000")
             if walks.get("BM_Walk_AllSnapshots_Facade/" + s)},
            ["1000", "2000", "4000"], "1,000 file systems")

    # 5. Memory.
    m = memory.get("BM_Memory_ShareListing_Cold")
    if m and m.get("rss_ratio", -1) >= 0:
        ratio = m["rss_ratio"]
        add("5", "Memory: peak RSS while parsing the 20,000-share listing and taking the records",
            "%.1f MB" % (ratio * m["doc_bytes"] / 1e6),
            "document %.1f MB" % (m["doc_bytes"] / 1e6), "%.2fx" % ratio, "<= 4x", ratio <= 4.0,
            rss_ratio=ratio, rss_ratio_parse=m.get("rss_ratio_parse"),
            heap_ratio=m.get("heap_ratio"), doc_bytes=m["doc_bytes"])

    # 6. Concurrency.
    f1, f8 = req.get("BM_Concurrency_Facade/threads:1"), req.get("BM_Concurrency_Facade/threads:8")
    r1, r8 = req.get("BM_Concurrency_Raw_KeepAlive/threads:1"), req.get("BM_Concurrency_Raw_KeepAlive/threads:8")
    if f1 and f8:
        ratio = f8["items_per_second"] / f1["items_per_second"]
        raw = (r8["items_per_second"] / r1["items_per_second"]) if r1 and r8 else None
        add("6", "Concurrency: 8 threads, a facade each, aggregate requests/s",
            "%.0f req/s" % f8["items_per_second"], "1 thread %.0f req/s" % f1["items_per_second"],
            "%.2fx" % ratio + (" (raw libcurl: %.2fx)" % raw if raw else ""), ">= 1.6x",
            ratio >= 1.6, facade_1=f1["items_per_second"], facade_8=f8["items_per_second"],
            ratio=ratio, raw_ratio=raw)

    machine_line = ""
    if machine:
        machine_line = ("Machine: %s, %s cores, %s, Linux %s; libcurl %s, simdjson %s; commit %s; "
                        "run %s to %s; load average %s at the start, %s at the end; "
                        "medians of %s repetitions." % (
                            machine.get("cpu"), machine.get("cores"), machine.get("memory"),
                            machine.get("kernel"), machine.get("libcurl"), machine.get("simdjson"),
                            machine.get("commit"), machine.get("started"), machine.get("finished"),
                            machine.get("load_average_start"), machine.get("load_average_end"),
                            machine.get("repetitions")))

    def met_text(met):
        return "—" if met is None else ("yes" if met else "**no**")

    lines = ["| # | Figure | Measured | Baseline (same run) | Ratio | Target | Met |",
             "|---|---|---|---|---|---|---|"]
    for r in rows:
        lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
            r["id"], r["figure"], r["measured"], r["baseline"], r["ratio"], r["target"],
            met_text(r["met"])))
    table = "\n".join(lines)
    if machine_line:
        table += "\n\n" + machine_line

    with open(os.path.join(out, "figures.json"), "w") as f:
        json.dump({"machine": machine, "figures": rows}, f, indent=2)
        f.write("\n")
    with open(os.path.join(out, "figures.md"), "w") as f:
        f.write(table + "\n")
    print(table)

    if doc and os.path.exists(doc):
        with open(doc) as f:
            text = f.read()
        block = "<!-- figures:begin -->\n" + table + "\n<!-- figures:end -->"
        text = re.sub(r"<!-- figures:begin -->.*?<!-- figures:end -->", lambda _: block, text,
                      flags=re.S)
        with open(doc, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
