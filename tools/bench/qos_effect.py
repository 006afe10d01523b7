#!/usr/bin/env python3
"""Tables and chart of tools/bench/qos-effect.sh, from the runs it left.

usage: qos_effect.py table DIR      the tables, one per probe
       qos_effect.py chart DIR SVG  the VoIP round-trip time over time
       qos_effect.py p99 FILE       one irtt report's p99 and loss

A run is a directory DIR/<scenario>.<mode>/ holding voip.json, game.json and
other.json (irtt clients), bulk-N.json (iperf3 clients) and rate (the configured rate of
the loaded direction, kbit/s).
"""
import json
import math
import os
import sys


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


def goodput(run):
    """The bulk's goodput as a share of the configured rate, in percent."""
    bps = 0.0
    for name in os.listdir(run):
        if name.startswith("bulk-"):
            try:
                bps += json.load(open(os.path.join(run, name)))["end"]["sum_received"]["bits_per_second"]
            except (ValueError, KeyError):
                return None
    rate = float(open(os.path.join(run, "rate")).read())
    return 100 * bps / (rate * 1000)


def runs(top):
    """The runs, uploads first."""
    names = [d for d in os.listdir(top) if os.path.isdir(os.path.join(top, d))]
    return sorted(names, key=lambda d: (not d.startswith("up-"), d))


def loss_and_times(path):
    """(per cent lost, round-trip times in ms of the probes answered)."""
    _, rtts = irtt(path)
    got = [r for r in rtts if r is not None]
    return (100 * (len(rtts) - len(got)) / len(rtts) if rtts else 100.0), got


def table(top):
    for probe in ("voip", "game", "other"):
        print(f"\n{probe} probe (round-trip time in ms; bulk goodput in % of the configured rate)")
        print(f"| {'scenario':<28} | {'mode':<18} | {'p50':>7} | {'p95':>7} | {'p99':>7} | {'max':>7} | {'lost':>6} | {'bulk':>5} |")
        print(f"|{'-' * 30}|{'-' * 20}|{'-' * 9}|{'-' * 9}|{'-' * 9}|{'-' * 9}|{'-' * 8}|{'-' * 7}|")
        for run in runs(top):
            scenario, mode = run.rsplit(".", 1)
            path = os.path.join(top, run)
            try:
                lost, got = loss_and_times(os.path.join(path, probe + ".json"))
            except (OSError, ValueError, KeyError):
                print(f"| {scenario:<28} | {mode:<18} | no report from the probe")
                continue
            cells = [f"{percentile(got, p):7.1f}" for p in (50, 95, 99, 100)] if got else ["      -"] * 4
            bulk = goodput(path)
            print(f"| {scenario:<28} | {mode:<18} | {' | '.join(cells)} | {lost:5.1f}% | {'-' if bulk is None else f'{bulk:4.0f}%':>5} |")


def chart(top, out):
    panels = [("IPv4 upload", "up-ipv4-plain"), ("IPv6 upload", "up-ipv6-plain")]
    modes = [("off", "QoS off", "#c0392b"), ("on", "QoS on", "#1f77b4")]
    w, h, left, top_margin, ph, gap = 760, 460, 70, 40, 170, 50
    lo, hi = 0.1, 2000.0

    def y(v, base):
        v = min(max(v, lo), hi)
        return base + ph - ph * (math.log10(v) - math.log10(lo)) / (math.log10(hi) - math.log10(lo))

    svg = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" font-family="sans-serif" font-size="12">',
           f'<rect width="{w}" height="{h}" fill="white"/>',
           f'<text x="{w / 2}" y="20" text-anchor="middle" font-size="14">VoIP round-trip time during a saturating upload (20 ms probes, log scale)</text>']
    for i, (title, scenario) in enumerate(panels):
        base = top_margin + i * (ph + gap)
        series = {}
        for mode, _, _ in modes:
            path = os.path.join(top, f"{scenario}.{mode}", "voip.json")
            if os.path.exists(path):
                series[mode] = irtt(path)
        span = max([t[-1] for t, _ in series.values() if t] + [1.0])
        x = lambda t: left + (w - left - 20) * t / span
        svg.append(f'<text x="{left}" y="{base - 6}" font-weight="bold">{title}</text>')
        svg.append(f'<rect x="{left}" y="{base}" width="{w - left - 20}" height="{ph}" fill="none" stroke="#888"/>')
        for v in (0.1, 1, 10, 100, 1000):
            svg.append(f'<line x1="{left}" x2="{w - 20}" y1="{y(v, base):.1f}" y2="{y(v, base):.1f}" stroke="#ddd"/>')
            svg.append(f'<text x="{left - 6}" y="{y(v, base) + 4:.1f}" text-anchor="end">{v:g} ms</text>')
        for s in range(0, int(span) + 1, 5):
            svg.append(f'<text x="{x(s):.1f}" y="{base + ph + 14}" text-anchor="middle">{s} s</text>')
        for mode, label, colour in modes:
            if mode not in series:
                continue
            times, rtts = series[mode]
            points = " ".join(f"{x(t):.1f},{y(r, base):.1f}" for t, r in zip(times, rtts) if r is not None)
            svg.append(f'<polyline points="{points}" fill="none" stroke="{colour}" stroke-width="1"/>')
            for t, r in zip(times, rtts):
                if r is None:
                    svg.append(f'<circle cx="{x(t):.1f}" cy="{base + 3}" r="1.5" fill="{colour}"/>')
        for j, (mode, label, colour) in enumerate(modes):
            lx = w - 200 + j * 90
            svg.append(f'<line x1="{lx}" x2="{lx + 20}" y1="{base - 10}" y2="{base - 10}" stroke="{colour}" stroke-width="2"/>')
            svg.append(f'<text x="{lx + 24}" y="{base - 6}">{label}</text>')
    svg.append(f'<text x="{left}" y="{h - 8}" fill="#555">dots on the top edge: probes lost. '
               'Modem buffer 800 ms, router shaping the upload at 2048 kbit/s (modem 2150).</text>')
    svg.append("</svg>")
    with open(out, "w") as f:
        f.write("\n".join(svg) + "\n")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "table":
        table(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "p99":
        lost, got = loss_and_times(sys.argv[2])
        print(f"p99 {percentile(got, 99):7.1f} ms, {lost:4.1f} % lost" if got else "every probe lost")
    elif len(sys.argv) == 4 and sys.argv[1] == "chart":
        chart(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
