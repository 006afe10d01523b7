#!/usr/bin/env python3
"""Tables and chart of tools/bench/qos-effect.sh, from the runs it left.

usage: qos_effect.py table DIR...    the tables; with several runs of the
                                     benchmark, each figure as its range
       qos_effect.py chart SVG DIR...  a call's round-trip time over a run, per mode
       qos_effect.py p99 FILE        one irtt report's p99 and loss
       qos_effect.py summary RATES up|down ipv4|ipv6 MODE,... DIR...
                                     a row per load, a column per mode:
                                     mapped VoIP, unnamed voice and video p99
                                     (lost %) and the bulk goodput
       qos_effect.py cpu DIR...      per run, how busy the box's processors
                                     were over its load (and in softirq, where
                                     the shaping and the rules run)
       qos_effect.py left DIR...     per TCP upload on the DSL modem, its
                                     goodput while the probes ran in % of
                                     what the line leaves it beside them

DIR is a benchmark's runs directory: DIR/<rates>/facts/ holds the idle
round-trip time (idle.json), the kernel, the modem and, per mode, the leaf
queues and filters the build met; DIR/<rates>/<scenario>.<mode>/ a run: the
probes' irtt reports (<probe>.json), the load's iperf3 reports (bulk-N.json)
and rate (the configured rate of the loaded direction, kbit/s). <rates> is a
rate pair (2M, 20M), with a modem's name after it (2M-dsl). The two hosts'
loads have the first host's report in bulk-0.json, the second's in
bulk-1.json; the reply flood's run its client's report (flood.json) and the
counting filters on lan0 (flood-filters: pref 1-9 the answers that passed
br0's class 3:2, pref 10 the others; tools/bench/effect_lab.bash).
"""
import re
import json
import math
import os
import sys

PROBES = ["voip", "game", "voice", "ugame", "video"]
PROBE_TITLES = {"voip": "VoIP (mapped)", "game": "game (mapped)", "voice": "voice (unnamed)",
                "ugame": "game (unnamed)", "video": "video (unnamed)"}
LOAD_TITLES = {
    "plain": "TCP, unnamed ports", "p2p": "TCP, /var/bittorrent ports", "bt6881": "TCP from 6881-6884",
    "emule": "emule: TCP 4662 + UDP 4672", "udp443": "UDP flood to 443", "flood1": "100 B UDP, 1 port",
    "flood64": "100 B UDP, 64 ports", "ef": "TCP marked EF", "churn": "10,000 new UDP flows in 10 s",
    "down": "download, 4 TCP",
    "udp100": "100 B UDP at the line's rate", "hosts": "2 hosts: 1 TCP + 8 TCP",
    "replies": "reply flood to the greedy host", "hosts-down": "2 hosts down: 1 TCP + 8 TCP",
}
# The goals of the household loads: the host with one stream keeps at least
# this share of the two hosts' goodput; at most one host budget (32 KiB a
# second, IP bytes) of the reply flood passes the high class.
HOST_SHARE_GOAL = 40
FLOOD_HIGH_GOAL = 32 * 1024
ETHERNET = 14
LOAD_ORDER = list(LOAD_TITLES)


def irtt(path):
    """(send times in s from the first, round-trip times in ms or None if lost)."""
    trips = json.load(open(path))["round_trips"]
    t0 = trips[0]["timestamps"]["client"]["send"]["wall"] if trips else 0
    times, rtts = [], []
    for t in trips:
        send = t["timestamps"]["client"].get("send", {}).get("wall", t0)
        times.append((send - t0) / 1e9)
        rtts.append(t["delay"]["rtt"] / 1e6 if t["lost"] == "false" else None)
    return times, rtts


def percentile(values, p):
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


# A fair-late run counts from a second after its build ended (DIR/applied,
# the wall clock): the modem's buffer from the time without QoS has drained.
def applied_at(path):
    try:
        return float(open(os.path.join(os.path.dirname(path), "applied")).read()) + 1
    except (OSError, ValueError):
        return None


def loss_and_times(path):
    """(per cent lost, round-trip times in ms of the probes answered)."""
    _, rtts = irtt(path)
    start = applied_at(path)
    if start is not None:
        trips = json.load(open(path))["round_trips"]
        rtts = [r for r, t in zip(rtts, trips)
                if t["timestamps"]["client"].get("send", {}).get("wall", 0) / 1e9 >= start]
    got = [r for r in rtts if r is not None]
    return (100 * (len(rtts) - len(got)) / len(rtts) if rtts else 100.0), got


def probe(path):
    """{p50, p99, lost (%), late (packets)} of one irtt report, or None."""
    try:
        lost, got = loss_and_times(path)
        stats = json.load(open(path))["stats"]
    except (OSError, ValueError, KeyError):
        return None
    late, missed = stats.get("late_packets", 0), stats.get("timer_miss_percent", 0.0)
    if not got:
        return {"p50": math.inf, "p99": math.inf, "lost": lost, "late": late, "missed": missed}
    return {"p50": percentile(got, 50), "p99": percentile(got, 99), "lost": lost, "late": late, "missed": missed}


def report_bps(path):
    """One iperf3 report's goodput in bit/s: TCP as received, UDP as sent
    less what the receiver lost; None if unreadable."""
    try:
        end = json.load(open(path))["end"]
        if "sum_received" in end:
            return end["sum_received"]["bits_per_second"]
        return end["sum"]["bits_per_second"] * (1 - end["sum"]["lost_percent"] / 100)
    except (OSError, ValueError, KeyError):
        return None


def goodput(run):
    """The load's goodput as a share of the configured rate, in percent: TCP
    as received, UDP as sent less what the receiver lost."""
    bps = 0.0
    names = [n for n in os.listdir(run) if n.startswith("bulk-")]
    if not names:
        return None
    for name in names:
        got = report_bps(os.path.join(run, name))
        if got is None:
            return None
        bps += got
    rate = float(open(os.path.join(run, "rate")).read())
    return 100 * bps / (rate * 1000)


def hosts(run):
    """(first host's goodput, second host's, in kbit/s; the first host's
    share of their sum in %) of a two hosts' run, or None."""
    first, second = (report_bps(os.path.join(run, f"bulk-{i}.json")) for i in (0, 1))
    if first is None or second is None or first + second <= 0:
        return None
    return first / 1000, second / 1000, 100 * first / (first + second)


def flood(run):
    """What the reply flood brought, from its counting filters: {"seconds"
    it was asked for, "all" bytes that reached the greedy host's port, "high"
    bytes of them that passed class 3:2 (None where br0 has no such class),
    both as IP bytes}, or None."""
    try:
        seconds = json.load(open(os.path.join(run, "flood.json")))["seconds"]
        lines = open(os.path.join(run, "flood-filters")).read().splitlines()
    except (OSError, ValueError, KeyError):
        return None
    counted, pref = {}, None
    for line in lines:
        found = re.match(r"filter .*\bpref (\d+) ", line)
        if found:
            pref = int(found.group(1))
            counted.setdefault(pref, 0)
        found = re.match(r"\s*Sent (\d+) bytes (\d+) pkt", line)
        if found and pref is not None:
            counted[pref] += int(found.group(1)) - ETHERNET * int(found.group(2))
    if not counted or seconds <= 0:
        return None
    high = [v for p, v in counted.items() if p < 10]
    return {"seconds": seconds, "all": sum(counted.values()), "high": sum(high) if high else None}


def tc_rate(text):
    """A rate as tc prints it (2048Kbit, 1.5Mbit, 800bit), in bit/s."""
    for unit, scale in (("Gbit", 1e9), ("Mbit", 1e6), ("Kbit", 1e3), ("bit", 1.0)):
        if text.endswith(unit):
            return float(text[: -len(unit)]) * scale
    return float(text)


def tc_classes(path):
    """{class id: (ceil in bit/s, bytes sent)} of the leaf classes in a
    `tc -s class show` listing."""
    found, current = {}, None
    for line in open(path):
        words = line.split()
        if words[:2] == ["class", "htb"]:
            current = words[2] if "leaf" in words else None
            if current:
                found[current] = [tc_rate(words[words.index("ceil") + 1]), 0]
        elif current and words[:1] == ["Sent"]:
            found[current][1] = int(words[1])
    return found


def class_share(run):
    """(the load's class, what it may use in kbit/s, its goodput in % of
    that): the class is the leaf that sent the most during the run; it may
    use its ceiling, or what the other classes left of the configured rate if
    that is less. None without the class listings (QoS off)."""
    try:
        before, after = (tc_classes(os.path.join(run, f"classes-{w}")) for w in ("before", "after"))
        seconds = json.load(open(os.path.join(run, "voip.json")))["config"]["params"]["duration"] / 1e9
    except (OSError, ValueError, KeyError):
        return None
    sent = {c: after[c][1] - before.get(c, [0, 0])[1] for c in after}
    if not sent or max(sent.values()) <= 0:
        return None
    load = max(sent, key=sent.get)
    others = sum(v for c, v in sent.items() if c != load) * 8 / seconds
    rate = float(open(os.path.join(run, "rate")).read()) * 1000
    may = min(after[load][0], rate - others)
    got = goodput(run)
    return load, may / 1000, None if got is None or may <= 0 else got * rate / may


def read_text(path, default="-"):
    try:
        return open(path).read().strip()
    except OSError:
        return default


def pair_key(name):
    """A rate pair's order: the plain modem's first, each by its rate."""
    rate, _, modem = name.partition("M")
    return (modem, float(rate))


def rate_pairs(top):
    pairs = [d for d in os.listdir(top) if os.path.isdir(os.path.join(top, d))]
    return sorted(pairs, key=pair_key)


def scenarios(top, pair):
    """{(direction, family, load): {mode: run dir}}."""
    found = {}
    for name in os.listdir(os.path.join(top, pair)):
        if name == "facts" or "." not in name:
            continue
        scenario, mode = name.split(".", 1)
        direction, family, load = scenario.split("-", 2)
        found.setdefault((direction, family, load), {})[mode] = os.path.join(top, pair, name)
    return found


def mode_key(mode):
    base, _, share = mode.partition("@")
    order = ["off", "on", "fair-today", "fair", "fair-dsl", "cake-be", "cake-host", "cake-atm"]
    return (order.index(base) if base in order else len(order), base, int(share or 0))


def spread(values, fmt):
    """One figure, or the range of several runs' figures."""
    values = [v for v in values if v is not None]
    if not values:
        return "-"
    lo, hi = min(values), max(values)
    show = lambda v: "all lost" if v == math.inf else fmt.format(v)
    return show(lo) if fmt.format(lo) == fmt.format(hi) else f"{show(lo)}–{show(hi)}"


def goals_missed(run, idle99, off):
    """The goals a run misses (in fair mode they all should hold): voice and
    game probes within idle p99 + 10 ms and mapped VoIP p99 + 5 ms, at most
    0.5 % lost; video within idle p99 + 40 ms, at most 1 % lost; no probe
    worse than with QoS off."""
    missed = []
    voip = run.get("voip")
    for name in PROBES:
        p = run.get(name)
        if p is None:
            continue
        if name == "video":
            if p["p99"] > idle99 + 40:
                missed.append(f"{name} p99")
            if p["lost"] > 1:
                missed.append(f"{name} loss")
        else:
            if p["p99"] > idle99 + 10 or (voip and p["p99"] > voip["p99"] + 5):
                missed.append(f"{name} p99")
            if p["lost"] > 0.5:
                missed.append(f"{name} loss")
        o = off.get(name) if off else None
        if o and (p["p99"] > o["p99"] or p["lost"] > o["lost"]):
            missed.append(f"{name} worse than off")
    return missed


def cpu_busy(run):
    """The box's processors over a run's load: (busy %, softirq %) for all of
    them, then for each."""
    try:
        lines = [open(os.path.join(run, f)).read().splitlines() for f in ("cpu-before", "cpu-after")]
    except OSError:
        return None
    shares = []
    for before, after in zip(*lines):
        d = [int(b) - int(a) for a, b in zip(before.split()[1:9], after.split()[1:9])]
        total = sum(d) or 1  # user nice system idle iowait irq softirq steal
        shares.append((100 * (total - d[3] - d[4]) / total, 100 * d[6] / total))
    return shares


def cpu(tops):
    for top in tops:
        for pair in rate_pairs(top):
            for (direction, family, load), modes in sorted(scenarios(top, pair).items()):
                for mode in sorted(modes, key=mode_key):
                    got = cpu_busy(modes[mode])
                    if got:
                        each = ", ".join(f"{b:.0f}/{s:.0f}" for b, s in got[1:])
                        print(f"{pair}/{direction}-{family}-{load}.{mode}: busy {got[0][0]:.0f} %, softirq "
                              f"{got[0][1]:.0f} % (each processor: {each})")


def cells(ip_bytes):
    """What an IP packet takes on the DSL modem's line: it and 40 bytes in
    53-byte cells of 48."""
    return math.ceil((ip_bytes + 40) / 48) * 53


def left(tops):
    """A TCP upload's goodput on the DSL line while the probes ran (the
    seconds 3 to 16 of its report, within their 15 s), against what the
    line leaves it: the configured rate less the probes' cells, at the
    goodput of a full-size packet's cells."""
    for top in tops:
        for pair in (p for p in rate_pairs(top) if p.endswith("-dsl")):
            for (direction, family, load), modes in sorted(scenarios(top, pair).items()):
                if direction != "up" or load not in ("plain", "p2p", "bt6881"):
                    continue
                ip = 40 if family == "ipv6" else 20
                for mode in sorted(modes, key=mode_key):
                    run = modes[mode]
                    try:
                        bits = 0.0
                        for name in PROBES:
                            report = json.load(open(os.path.join(run, f"{name}.json")))
                            length = report["config"]["params"]["length"] + ip + 8
                            bits += report["stats"]["packets_sent"] / 15 * cells(length) * 8
                        bps = 0.0
                        for name in (n for n in os.listdir(run) if n.startswith("bulk-")):
                            spans = json.load(open(os.path.join(run, name)))["intervals"]
                            during = [i["sum"] for i in spans if not i["sum"].get("omitted") and 3 <= i["sum"]["start"] < 16]
                            bps += sum(i["bits_per_second"] for i in during) / len(during)
                        rate = float(open(os.path.join(run, "rate")).read()) * 1000
                    except (OSError, ValueError, KeyError, ZeroDivisionError):
                        continue
                    mss = 1500 - ip - 32  # TCP with timestamps
                    line = (rate - bits) * mss / cells(1500)
                    print(f"{pair}/{direction}-{family}-{load}.{mode}: {bps / 1000:.0f} kbit/s, {100 * bps / line:.0f} % "
                          f"of the {line / 1000:.0f} the line leaves beside the probes' {bits / 1000:.0f} kbit/s of cells")


def table(tops):
    pairs = sorted({p for top in tops for p in rate_pairs(top)}, key=pair_key)
    for pair in pairs:
        here = [top for top in tops if os.path.isdir(os.path.join(top, pair))]
        facts = os.path.join(here[0], pair, "facts")
        idle = [probe(os.path.join(top, pair, "facts", "idle.json")) for top in here]
        idle = [i for i in idle if i]
        idle99 = max(i["p99"] for i in idle) if idle else 0.0
        for top in here:
            load = [read_text(os.path.join(top, "..", f"load-{when}")) for when in ("before", "after")]
            print(f"\nthe machine's load ({top}): before {load[0].split('average: ')[-1]}, after {load[1].split('average: ')[-1]}")
        print(f"\n## {pair}: kernel {read_text(os.path.join(facts, 'kernel'))}; modem: {read_text(os.path.join(facts, 'modem'))}")
        print(f"idle round-trip time (voice probe, 20 s after 2 s warm-up): "
              f"p50 {spread([i['p50'] for i in idle], '{:.1f}')}, p99 {spread([i['p99'] for i in idle], '{:.1f}')} ms, "
              f"lost {spread([i['lost'] for i in idle], '{:.1f}')} %; the client missed "
              f"{spread([i['missed'] for i in idle], '{:.0f}')} % of its send times (a busy CPU misses more); runs: {len(here)}")
        for mode in sorted((m for m in os.listdir(facts) if m not in ("kernel", "modem") and ".json" not in m and not m.startswith("build-")), key=mode_key):
            print(f"  {mode}: " + "; ".join(read_text(os.path.join(facts, mode)).splitlines()))
        found = {}
        for top in here:
            for key, modes in scenarios(top, pair).items():
                for mode, path in modes.items():
                    found.setdefault(key, {}).setdefault(mode, []).append(path)
        for direction in ("up", "down"):
            for family in ("ipv4", "ipv6"):
                keys = sorted((k for k in found if k[0] == direction and k[1] == family),
                              key=lambda k: LOAD_ORDER.index(k[2]) if k[2] in LOAD_ORDER else 99)
                if not keys:
                    continue
                print(f"\n{pair}, {'upload' if direction == 'up' else 'download'}, {family}: "
                      "p99 ms / lost % / late packets per probe; bulk goodput in % of the configured rate "
                      "(the load's class: goodput in % of what the class may use, kbit/s)")
                print("| load | mode | " + " | ".join(PROBE_TITLES[p] for p in PROBES) + " | bulk | goals missed |")
                print("|---" * (len(PROBES) + 4) + "|")
                for key in keys:
                    off_runs = [{p: probe(os.path.join(d, p + ".json")) for p in PROBES} for d in found[key].get("off", [])]
                    off = {p: min((r[p] for r in off_runs if r[p]), key=lambda x: x["p99"], default=None) for p in PROBES} if off_runs else None
                    for mode in sorted(found[key], key=mode_key):
                        runs = [{p: probe(os.path.join(d, p + ".json")) for p in PROBES} for d in found[key][mode]]
                        cells = []
                        for p in PROBES:
                            got = [r[p] for r in runs if r[p]]
                            cells.append("-" if not got else
                                         f"{spread([g['p99'] for g in got], '{:.1f}')} / {spread([g['lost'] for g in got], '{:.1f}')}"
                                         f" / {spread([g['late'] for g in got], '{:d}')}")
                        bulk = spread([goodput(d) for d in found[key][mode]], "{:.0f}")
                        shares = [class_share(d) for d in found[key][mode]]
                        shares = [c for c in shares if c]
                        if shares and key[2] != "replies":
                            bulk += (f" ({'/'.join(sorted({c[0] for c in shares}))}: "
                                     f"{spread([c[2] for c in shares], '{:.0f}')} % of {spread([c[1] for c in shares], '{:.0f}')})")
                        missed = set()
                        both = ([h for h in (hosts(d) for d in found[key][mode]) if h]
                                if key[2] in ("hosts", "hosts-down") else [])
                        if both:
                            bulk += (f"; host 1 {spread([h[0] for h in both], '{:.0f}')}, host 2 "
                                     f"{spread([h[1] for h in both], '{:.0f}')} kbit/s, host 1's share "
                                     f"{spread([h[2] for h in both], '{:.0f}')} %")
                        floods = ([f for f in (flood(d) for d in found[key][mode]) if f]
                                  if key[2] == "replies" else [])
                        if key[2] == "replies":
                            high = [f for f in floods if f["high"] is not None]
                            bulk = (f"flood {spread([f['all'] / f['seconds'] / 1024 for f in floods], '{:.0f}')} KiB/s; "
                                    + (f"in 3:2 {spread([f['high'] / 1024 for f in high], '{:.0f}')} KiB, "
                                       f"{spread([f['high'] / f['seconds'] / 1024 for f in high], '{:.1f}')} KiB/s"
                                       if high else "no class 3:2"))
                        if mode != "off":
                            for r in runs:
                                missed.update(goals_missed(r, idle99, off))
                                if mode.endswith("@90") and r.get("voip") and r["voip"]["p99"] > 30:
                                    missed.add("voip p99 over 30 ms")
                            if any(h[2] < HOST_SHARE_GOAL for h in both):
                                missed.add(f"host 1 under {HOST_SHARE_GOAL} %")
                            if any(f["high"] is not None and f["high"] / f["seconds"] > FLOOD_HIGH_GOAL for f in floods):
                                missed.add("flood in 3:2 over 32 KiB/s")
                        print(f"| {LOAD_TITLES.get(key[2], key[2])} | {mode} | " + " | ".join(cells) +
                              f" | {bulk} | {', '.join(sorted(missed)) if mode != 'off' else ''} |")


def summary(pair, direction, family, modes, tops):
    """One table of a rate pair, direction and family: a row per load, a
    column per mode, each cell the mapped VoIP, unnamed voice and video p99
    (lost %) and the bulk goodput, over every DIR's runs."""
    print(f"| {pair} {'upload' if direction == 'up' else 'download'}, {family.replace('ipv', 'IPv')} | "
          + " | ".join(modes) + " |")
    print("|---" * (len(modes) + 1) + "|")
    found = {}
    for top in tops:
        if os.path.isdir(os.path.join(top, pair)):
            for key, runs in scenarios(top, pair).items():
                for mode, path in runs.items():
                    found.setdefault(key, {}).setdefault(mode, []).append(path)
    keys = sorted((k for k in found if k[0] == direction and k[1] == family),
                  key=lambda k: LOAD_ORDER.index(k[2]) if k[2] in LOAD_ORDER else 99)
    for key in keys:
        cells = []
        for mode in modes:
            dirs = found[key].get(mode, [])
            if not dirs:
                cells.append("-")
                continue
            parts = []
            for name in ("voip", "voice", "video"):
                got = [g for g in (probe(os.path.join(d, name + ".json")) for d in dirs) if g]
                parts.append(f"{spread([g['p99'] for g in got], '{:.0f}')} ({spread([g['lost'] for g in got], '{:.1f}')})")
            cells.append(" · ".join(parts) + f" · {spread([goodput(d) for d in dirs], '{:.0f}')} %")
        print(f"| {LOAD_TITLES.get(key[2], key[2])} | " + " | ".join(cells) + " |")


CHART_PANELS = [
    ("2M", "up-ipv4-bt6881", "voice", "2 Mbit/s: voice from an unnamed port, upload from 6881-6884 (IPv4)"),
    ("2M", "up-ipv4-plain", "voip", "2 Mbit/s: VoIP from the mapped port, upload from unnamed ports (IPv4)"),
    ("20M", "up-ipv4-bt6881", "voice", "20 Mbit/s: voice from an unnamed port, upload from 6881-6884 (IPv4)"),
]


def chart(out, tops):
    """A probe's round-trip time over one run, a panel per CHART_PANELS
    entry, one line per mode (from the first DIR that has the run)."""
    colours = {"off": "#c0392b", "on": "#1f77b4", "fair": "#2ca02c"}
    labels = {"off": "QoS off", "on": "QoS on", "fair": "fair mode"}
    panels = []
    for pair, scenario, name, title in CHART_PANELS:
        series, idle = {}, None
        for mode in colours:
            for top in tops:
                path = os.path.join(top, pair, f"{scenario}.{mode}", f"{name}.json")
                if os.path.exists(path):
                    series[mode] = irtt(path)
                    idle = idle or probe(os.path.join(top, pair, "facts", "idle.json"))
                    break
        if series:
            panels.append((title, series, idle))
    if not panels:
        print(f"chart: the runs hold none of its panels; {out} left as it was")
        return
    w, left, top_margin, ph, gap = 760, 70, 40, 150, 62
    h = top_margin + len(panels) * (ph + gap) + 10
    lo, hi = 1.0, 20000.0

    def y(v, base):
        v = min(max(v, lo), hi)
        return base + ph - ph * (math.log10(v) - math.log10(lo)) / (math.log10(hi) - math.log10(lo))

    svg = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" font-family="sans-serif" font-size="12">',
           f'<rect width="{w}" height="{h}" fill="white"/>',
           f'<text x="{w / 2}" y="20" text-anchor="middle" font-size="14">Round-trip time of a call during a saturating upload (20 ms probes, log scale)</text>']
    for i, (title, series, idle) in enumerate(panels):
        base = top_margin + i * (ph + gap)
        span = max([t[-1] for t, _ in series.values() if t] + [1.0])
        x = lambda t: left + (w - left - 20) * t / span
        svg.append(f'<text x="{left}" y="{base - 6}" font-weight="bold">{title}</text>')
        svg.append(f'<rect x="{left}" y="{base}" width="{w - left - 20}" height="{ph}" fill="none" stroke="#888"/>')
        for v in (1, 10, 100, 1000, 10000):
            svg.append(f'<line x1="{left}" x2="{w - 20}" y1="{y(v, base):.1f}" y2="{y(v, base):.1f}" stroke="#ddd"/>')
            svg.append(f'<text x="{left - 6}" y="{y(v, base) + 4:.1f}" text-anchor="end">{v:g} ms</text>')
        if idle:
            svg.append(f'<line x1="{left}" x2="{w - 20}" y1="{y(idle["p99"], base):.1f}" y2="{y(idle["p99"], base):.1f}" '
                       'stroke="#555" stroke-dasharray="4 3"/>')
        for s in range(0, int(span) + 1, 5):
            svg.append(f'<text x="{x(s):.1f}" y="{base + ph + 14}" text-anchor="middle">{s} s</text>')
        for j, mode in enumerate(m for m in colours if m in series):
            times, rtts = series[mode]
            points = " ".join(f"{x(t):.1f},{y(r, base):.1f}" for t, r in zip(times, rtts) if r is not None)
            svg.append(f'<polyline points="{points}" fill="none" stroke="{colours[mode]}" stroke-width="1"/>')
            for t, r in zip(times, rtts):
                if r is None:
                    svg.append(f'<circle cx="{x(t):.1f}" cy="{base + 3}" r="1.5" fill="{colours[mode]}"/>')
            lx, ly = left + j * 100, base + ph + 30
            svg.append(f'<line x1="{lx}" x2="{lx + 20}" y1="{ly - 4}" y2="{ly - 4}" stroke="{colours[mode]}" stroke-width="2"/>')
            svg.append(f'<text x="{lx + 24}" y="{ly}">{labels[mode]}</text>')
    svg.append(f'<text x="{left}" y="{h - 8}" fill="#555">dots on the top edge: probes lost; dashed: the idle p99. '
               'Lab box (full kernel, emulated CPU); modem 105 % of the set rate, 800 ms buffer.</text>')
    svg.append("</svg>")
    with open(out, "w") as f:
        f.write("\n".join(svg) + "\n")
    print(f"chart: {out}")


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "table":
        table(sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "p99":
        lost, got = loss_and_times(sys.argv[2])
        print(f"p99 {percentile(got, 99):7.1f} ms, {lost:4.1f} % lost" if got else "every probe lost")
    elif len(sys.argv) >= 7 and sys.argv[1] == "summary":
        summary(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5].split(","), sys.argv[6:])
    elif len(sys.argv) >= 3 and sys.argv[1] == "cpu":
        cpu(sys.argv[2:])
    elif len(sys.argv) >= 3 and sys.argv[1] == "left":
        left(sys.argv[2:])
    elif len(sys.argv) >= 4 and sys.argv[1] == "chart":
        chart(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
