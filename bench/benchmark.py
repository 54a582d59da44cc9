#!/usr/bin/env python3
"""Times quadrel on a generated pair of stereo WAV files against plain copies.

Generates a WX and a YZ file (default 10 minutes, 48 kHz, 24-bit), builds
quadrel in Release when needed, and runs on the same files in the same
invocation, each several times:

  quadrel wx.wav yz.wav out.wav
  cat wx.wav yz.wav > out          (the same byte volume, copied: the floor)
  sox -M wx.wav yz.wav out.wav     (a general tool doing the same merge)

It prints the median times, quadrel's ratio to each, and quadrel's peak
memory for the pair and for a pair twice as long, which must not differ.
sox is installed with apt-get when missing and this runs as root; otherwise
its column is skipped. Targets: at most 1.5 times cat, at most 0.2 times sox.

  bench/benchmark.py [--minutes 10] [--rate 48000] [--bits 24] [--runs 5]
"""

import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CAT_TARGET = 1.5
SOX_TARGET = 0.2


def write_wav(path, frames, rate, bits, seed):
    """A canonical 44-byte header and `frames` stereo frames of noise."""
    block_align = 2 * (bits // 8)
    data_length = frames * block_align
    header = (b"RIFF" + struct.pack("<i", 36 + data_length) + b"WAVEfmt " +
              struct.pack("<ihhiihh", 16, 1, 2, rate, rate * block_align, block_align, bits) +
              b"data" + struct.pack("<i", data_length))
    chunk = bytes((seed * 131 + i * 7919) & 0xFF for i in range(1 << 16)) + os.urandom(1 << 16)
    with open(path, "wb") as out:
        out.write(header)
        left = data_length
        while left > 0:
            piece = chunk[:left]
            out.write(piece)
            left -= len(piece)


def build_quadrel(build_dir):
    program = os.path.join(build_dir, "quadrel")
    subprocess.run(["cmake", "-S", REPO, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUADREL_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "--target", "quadrel", "-j2"], check=True,
                    stdout=subprocess.DEVNULL)
    return program


def find_sox(install):
    if shutil.which("sox"):
        return shutil.which("sox")
    if install and os.geteuid() == 0 and shutil.which("apt-get"):
        print("sox is missing: installing it with apt-get")
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["apt-get", "update", "-qq"], **quiet)
        subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", "sox"],
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), **quiet)
    found = shutil.which("sox")
    if not found:
        print("sox is not available and could not be installed: its comparison is skipped")
    return found


def run_once(argv, output, stdout_path=None):
    """Runs argv with a fresh output; returns (seconds, peak resident KiB)."""
    if os.path.exists(output):
        os.remove(output)
    sink = open(stdout_path, "wb") if stdout_path else open(os.devnull, "wb")
    with sink:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=sink, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv[0]} failed with status {child.returncode}")
    return seconds, usage.ru_maxrss


def median_of(runs, argv, output, stdout_path=None):
    results = [run_once(argv, output, stdout_path) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def same_samples(quadrel_out, sox_out):
    """Compares the sample data after each file's data chunk header."""
    def data_start(path):
        with open(path, "rb") as f:
            head = f.read(4096)
        return head.find(b"data") + 8

    with open(quadrel_out, "rb") as a, open(sox_out, "rb") as b:
        a.seek(data_start(quadrel_out))
        b.seek(data_start(sox_out))
        while True:
            x, y = a.read(1 << 20), b.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def measure(label, folder, program, sox, frames, args):
    wx, yz = os.path.join(folder, "wx.wav"), os.path.join(folder, "yz.wav")
    write_wav(wx, frames, args.rate, args.bits, 1)
    write_wav(yz, frames, args.rate, args.bits, 2)
    out = os.path.join(folder, "out.wav")
    run_once([program, wx, yz, out], out)  # warms the page cache

    quadrel_time, quadrel_peak = median_of(args.runs, [program, wx, yz, out], out)
    cat_out = os.path.join(folder, "cat.out")
    cat_time, _ = median_of(args.runs, ["cat", wx, yz], cat_out, cat_out)
    print(f"{label}: {2 * os.path.getsize(wx) / 1e6:.0f} MB of input")
    print(f"  quadrel  median {quadrel_time:.3f} s   peak memory {quadrel_peak} KiB")
    print(f"  cat      median {cat_time:.3f} s   quadrel/cat = {quadrel_time / cat_time:.2f}"
          f" (target <= {CAT_TARGET})")
    result = {"peak": quadrel_peak, "cat": quadrel_time / cat_time}
    if sox:
        sox_out = os.path.join(folder, "sox.wav")
        sox_time, _ = median_of(args.runs, [sox, "-M", wx, yz, sox_out], sox_out)
        print(f"  sox -M   median {sox_time:.3f} s   quadrel/sox = {quadrel_time / sox_time:.2f}"
              f" (target <= {SOX_TARGET})")
        print(f"  samples identical to sox's: {same_samples(out, sox_out)}")
        result["sox"] = quadrel_time / sox_time
    for name in ("wx.wav", "yz.wav", "out.wav", "cat.out", "sox.wav"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            os.remove(path)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--rate", type=int, default=48000)
    parser.add_argument("--bits", type=int, default=24, choices=(16, 24, 32))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build-bench"))
    parser.add_argument("--work-dir", default=None, help="where the files go (default: a temporary folder)")
    parser.add_argument("--no-install", action="store_true", help="never install sox")
    args = parser.parse_args()

    program = build_quadrel(args.build_dir)
    sox = find_sox(not args.no_install)
    frames = int(args.minutes * 60 * args.rate)
    with tempfile.TemporaryDirectory(dir=args.work_dir) as folder:
        one = measure(f"{args.minutes:g} min, {args.rate} Hz, {args.bits}-bit", folder, program, sox, frames, args)
        two = measure(f"{2 * args.minutes:g} min (twice as long)", folder, program, sox, 2 * frames, args)

    print(f"peak memory: {one['peak']} KiB for the pair, {two['peak']} KiB for the pair twice as long")
    missed = [f"cat ratio {one['cat']:.2f}"] if one["cat"] > CAT_TARGET else []
    if "sox" in one and one["sox"] > SOX_TARGET:
        missed.append(f"sox ratio {one['sox']:.2f}")
    print("targets met" if not missed else "targets missed: " + ", ".join(missed))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
