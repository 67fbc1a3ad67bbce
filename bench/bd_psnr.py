#!/usr/bin/env python3
"""Luma PSNR of two encoders at equal size.

  bench/bd_psnr.py OLD_VEXA NEW_VEXA CLIP [--frames N] [--qualities 20,40,60,80,95]
                   [--new-args "--speed 2"]

CLIP is a .y4m file or testsrc:WxH. Each binary encodes the clip at every
quality; the script prints bits per pixel and luma PSNR of both and the mean
PSNR gain of NEW over OLD over the bpp range both cover (piecewise linear in
log bpp, the BD-PSNR measure).
"""
import argparse, math, os, re, subprocess, tempfile


def encode(vexa, clip, quality, frames, extra):
    with tempfile.TemporaryDirectory() as d:
        out = os.path.join(d, "o.vxa")
        src = ["--testsrc", clip[8:]] if clip.startswith("testsrc:") else [clip]
        cmd = [vexa, "encode", *src, "--frames", str(frames), "-o", out, "--quality", str(quality), *extra]
        # Older builds print luma PSNR without being asked; newer ones want --psnr.
        text = subprocess.run(cmd + ["--psnr"], capture_output=True, text=True).stderr
        if "unknown" in text or "usage" in text.lower():
            text = subprocess.run(cmd, capture_output=True, text=True).stderr
    bpp = re.search(r"([0-9.]+) bits per pixel", text)
    psnr = re.search(r"(?:luma PSNR|PSNR Y) ([0-9.]+)", text)
    if not bpp or not psnr:
        raise SystemExit("no summary from %s:\n%s" % (" ".join(cmd), text))
    return float(bpp.group(1)), float(psnr.group(1))


def bd_psnr(a, b):
    a = sorted((math.log(r), p) for r, p in a)
    b = sorted((math.log(r), p) for r, p in b)

    def at(pts, x):
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            if x0 <= x <= x1:
                return y0 + (y1 - y0) * (x - x0) / (x1 - x0) if x1 > x0 else y0
        return pts[0][1] if x <= pts[0][0] else pts[-1][1]

    lo, hi = max(a[0][0], b[0][0]), min(a[-1][0], b[-1][0])
    if hi <= lo:
        return None, 0, 0
    n = 400
    gain = sum(at(b, lo + (hi - lo) * i / n) - at(a, lo + (hi - lo) * i / n) for i in range(n + 1)) / (n + 1)
    return gain, math.exp(lo), math.exp(hi)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("clip")
    ap.add_argument("--frames", type=int, default=20)
    ap.add_argument("--qualities", default="20,40,60,80,95")
    ap.add_argument("--new-args", default="")
    args = ap.parse_args()
    qs = [int(q) for q in args.qualities.split(",")]
    curves = []
    for vexa, extra in ((args.old, []), (args.new, args.new_args.split())):
        pts = []
        for q in qs:
            pts.append(encode(vexa, args.clip, q, args.frames, extra))
            print("%-5s q %3d  %.3f bpp  %.2f dB" % ("old" if not curves else "new", q, *pts[-1]), flush=True)
        curves.append(pts)
    gain, lo, hi = bd_psnr(*curves)
    if gain is None:
        print("the two curves share no bpp range")
    else:
        print("BD-PSNR %+.2f dB (new over old, %.3f..%.3f bpp)" % (gain, lo, hi))


if __name__ == "__main__":
    main()
