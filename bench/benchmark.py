#!/usr/bin/env python3
"""Times quadrel on generated pairs of stereo WAV files against plain copies.

Generates each pair (10 minutes at 48 kHz by default), builds quadrel in
Release when needed, and times, on the same files in the same invocation,
each several times:

  quadrel wx.wav yz.wav out.wav
  cat wx.wav yz.wav > out          (the same bytes copied: the floor)

on three pairs: 24-bit, whose frames are interleaved; 8-bit, whose frames
are interleaved as 2-byte halves; and 24-bit with 100 MB of chunks after the
WX data, which are copied behind the frames. For the 24-bit pair it also
times sox -M (a general tool doing the same merge) when sox is there, and
gives quadrel's peak memory (by GNU time) for that pair and for one twice as
long, which must not differ. Last, it times quadrel --ambix on the 24-bit
pair, which converts every sample to floating point, against cat and
against ambix-interleave -X FuMa (libambix's merge into an AmbiX file),
and quadrel --align on a 24-bit pair whose WX file starts 1.5 s earlier
against the plain run on a pair of the frames it writes.

The commands take turns, round after round, so the load of the machine
weighs on each alike; the medians are compared. Targets: quadrel at most 1.1
times cat on every pair, at most 0.2 times sox; quadrel --ambix at most 2.5
times cat and at most a third of ambix-interleave's time; quadrel --align
at most 1.05 times the plain run. sox and
ambix-interleave are installed with apt-get when missing and this runs as
root; otherwise their columns are skipped.

  bench/benchmark.py [--minutes 10] [--rate 48000] [--runs 5]
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
CAT_TARGET = 1.1
AMBIX_CAT_TARGET = 2.5
SOX_TARGET = 0.2
AMBIX_INTERLEAVE_TARGET = 1 / 3
ALIGN_TARGET = 1.05
TRAILING_BYTES = 100_000_000


def write_wav(path, frames, rate, bits, seed, trailing=0, time_reference=None):
    """A canonical 44-byte header, `frames` stereo frames of noise, and a
    chunk of `trailing` bytes after the data when asked; with a
    `time_reference`, a bext chunk that holds it before the fmt chunk."""
    block_align = 2 * (bits // 8)
    data_length = frames * block_align
    tail = 8 + trailing if trailing else 0
    bext = b""
    if time_reference is not None:
        body = bytearray(602)
        struct.pack_into("<QH", body, 338, time_reference, 1)
        bext = b"bext" + struct.pack("<I", len(body)) + bytes(body)
    header = (b"RIFF" + struct.pack("<I", (36 + len(bext) + data_length + tail) & 0xFFFFFFFF) + b"WAVE" + bext +
              b"fmt " + struct.pack("<ihhiihh", 16, 1, 2, rate, rate * block_align, block_align, bits) +
              b"data" + struct.pack("<i", data_length))
    chunk = bytes((seed * 131 + i * 7919) & 0xFF for i in range(1 << 16)) + os.urandom(1 << 16)
    with open(path, "wb") as out:
        out.write(header)
        for left in (data_length, trailing):
            if left and left == trailing:
                out.write(b"junk" + struct.pack("<I", trailing))
            while left > 0:
                piece = chunk[:left]
                out.write(piece)
                left -= len(piece)


def build(build_dir):
    subprocess.run(["cmake", "-S", REPO, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", "-DQUADREL_TESTS=OFF"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "--target", "quadrel", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "quadrel")


def find_tool(tool, package, install):
    """The tool's path, installed with apt-get from `package` when missing."""
    if shutil.which(tool):
        return shutil.which(tool)
    if install and os.geteuid() == 0 and shutil.which("apt-get"):
        print(f"{tool} is missing: installing {package} with apt-get")
        quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["apt-get", "update", "-qq"], **quiet)
        subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", package],
                       env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), **quiet)
    found = shutil.which(tool)
    if not found:
        print(f"{tool} is not available and could not be installed: its comparison is skipped")
    return found


def run_once(argv, output, stdout_path=None):
    """Runs argv with a fresh output; returns its wall-clock seconds.
    ambix-interleave ends with status 1 when it has written its file, so a
    run counts as failed when its status is not 0 and it wrote nothing."""
    if os.path.exists(output):
        os.remove(output)
    with open(stdout_path or os.devnull, "wb") as sink:
        start = time.perf_counter()
        status = subprocess.run(argv, stdout=sink, stderr=subprocess.DEVNULL).returncode
        seconds = time.perf_counter() - start
    if status != 0 and not (os.path.exists(output) and os.path.getsize(output) > 0):
        sys.exit(f"{argv[0]} failed with status {status}")
    return seconds


def peak_memory_kib(argv, output):
    """Peak resident memory of argv by GNU time, or None without it."""
    gnu_time = "/usr/bin/time"
    if not os.path.exists(gnu_time):
        return None
    if os.path.exists(output):
        os.remove(output)
    report = subprocess.run([gnu_time, "-f", "%M", *argv], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                            text=True, check=True).stderr
    return int(report.strip().splitlines()[-1])


def medians(runs, commands):
    """Runs the commands in turn, `runs` rounds, so that the load of the
    machine weighs on all of them alike; returns each one's median time."""
    for argv, output, stdout_path in commands.values():
        run_once(argv, output, stdout_path)  # warms the page cache
    times = {name: [] for name in commands}
    for _ in range(runs):
        for name, (argv, output, stdout_path) in commands.items():
            times[name].append(run_once(argv, output, stdout_path))
    return {name: statistics.median(values) for name, values in times.items()}


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


def measure(label, folder, quadrel_argv, wx, yz, runs, peer=None, cat_target=CAT_TARGET):
    """Times quadrel_argv (given the output path) against cat of wx and yz,
    and against a peer when given: (name, argv given the output, target,
    whether its samples must be quadrel's). Returns the ratios and targets."""
    out, cat_out, peer_out = (os.path.join(folder, name) for name in ("out.wav", "cat.out", "peer.caf"))
    commands = {"quadrel": ([*quadrel_argv, out], out, None), "cat": (["cat", wx, yz], cat_out, cat_out)}
    if peer:
        commands[peer[0]] = (peer[1](peer_out), peer_out, None)
    times = medians(runs, commands)
    ratios = {"cat": (times["quadrel"] / times["cat"], cat_target)}
    print(f"{label}: {(os.path.getsize(wx) + os.path.getsize(yz)) / 1e6:.0f} MB of input, median of {runs} runs")
    print(f"  quadrel  {times['quadrel']:.3f} s")
    print(f"  cat      {times['cat']:.3f} s   quadrel/cat = {ratios['cat'][0]:.2f} (target <= {cat_target})")
    if peer:
        name, _, target, same = peer
        ratios[name] = (times["quadrel"] / times[name], target)
        print(f"  {name}  {times[name]:.3f} s   quadrel/{name} = {ratios[name][0]:.2f} (target <= {target:.2f})")
        if same:
            print(f"  samples identical to {name}'s: {same_samples(out, peer_out)}")
    for path in (out, cat_out, peer_out):
        if os.path.exists(path):
            os.remove(path)
    return ratios


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--rate", type=int, default=48000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build-bench"))
    parser.add_argument("--work-dir", default=None, help="where the files go (default: a temporary folder)")
    parser.add_argument("--no-install", action="store_true", help="never install sox or ambix-interleave")
    args = parser.parse_args()

    program = build(args.build_dir)
    sox = find_tool("sox", "sox", not args.no_install)
    interleave = find_tool("ambix-interleave", "libambix-utils", not args.no_install)
    frames = int(args.minutes * 60 * args.rate)
    minutes = f"{args.minutes:g} min, {args.rate} Hz"
    missed = []
    if args.work_dir:
        os.makedirs(args.work_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=args.work_dir) as folder:
        wx, yz = os.path.join(folder, "wx.wav"), os.path.join(folder, "yz.wav")
        out = os.path.join(folder, "out.wav")
        sox_peer = ("sox -M", lambda peer_out: [sox, "-M", wx, yz, "-t", "wav", peer_out], SOX_TARGET, True)
        interleave_peer = ("ambix-interleave",
                           lambda peer_out: [interleave, "-X", "FuMa", "-o", peer_out, wx, yz],
                           AMBIX_INTERLEAVE_TARGET, False)
        pairs = [
            (f"{minutes}, 24-bit (frames interleaved)", 24, 0, [program, wx, yz], sox and sox_peer, CAT_TARGET),
            (f"{minutes}, 8-bit (frames interleaved as 2-byte halves)", 8, 0, [program, wx, yz], None, CAT_TARGET),
            (f"{minutes}, 24-bit, 100 MB of chunks after the WX data", 24, TRAILING_BYTES, [program, wx, yz], None,
             CAT_TARGET),
            (f"{minutes}, 24-bit to AmbiX floats (--ambix)", 24, 0, [program, "--ambix", wx, yz],
             interleave and interleave_peer, AMBIX_CAT_TARGET),
        ]
        results = []
        for label, bits, trailing, argv, peer, cat_target in pairs:
            write_wav(wx, frames, args.rate, bits, 1, trailing)
            write_wav(yz, frames, args.rate, bits, 2)
            ratios = measure(label, folder, argv, wx, yz, args.runs, peer, cat_target)
            results.append((label, ratios))
            if bits == 24 and not trailing and peer is sox_peer:
                peak = peak_memory_kib([program, wx, yz, out], out)
                write_wav(wx, 2 * frames, args.rate, bits, 1)
                write_wav(yz, 2 * frames, args.rate, bits, 2)
                double_peak = peak_memory_kib([program, wx, yz, out], out)
                print(f"  peak memory: {peak} KiB for the pair, {double_peak} KiB for the pair twice as long")
            for path in (wx, yz, out):
                if os.path.exists(path):
                    os.remove(path)

        # Two recorders: the WX file starts 1.5 s before the YZ file, and
        # --align leaves that out; the plain run converts a pair of the
        # frames written, so both write the same bytes.
        lead = int(1.5 * args.rate)
        label = f"{minutes}, 24-bit, the WX file 1.5 s earlier (--align)"
        plain_wx = os.path.join(folder, "plain-wx.wav")
        write_wav(wx, frames + lead, args.rate, 24, 1, time_reference=36000 * args.rate)
        write_wav(plain_wx, frames, args.rate, 24, 1, time_reference=36000 * args.rate + lead)
        write_wav(yz, frames, args.rate, 24, 2, time_reference=36000 * args.rate + lead)
        plain_out = os.path.join(folder, "plain.wav")
        times = medians(args.runs, {"plain": ([program, plain_wx, yz, plain_out], plain_out, None),
                                    "align": ([program, "--align", wx, yz, out], out, None)})
        ratio = times["align"] / times["plain"]
        print(f"{label}: median of {args.runs} runs")
        print(f"  quadrel          {times['plain']:.3f} s   (the frames written, without options)")
        print(f"  quadrel --align  {times['align']:.3f} s   align/plain = {ratio:.2f} (target <= {ALIGN_TARGET})")
        results.append((label, {"plain": (ratio, ALIGN_TARGET)}))

    print("summary:")
    for label, ratios in results:
        print(f"  " + "  ".join(f"quadrel/{name} {ratio:.2f}" for name, (ratio, _) in ratios.items()) + f"  {label}")
        for name, (ratio, target) in ratios.items():
            if ratio > target:
                missed.append(f"{name} ratio {ratio:.2f} ({label})")
    print("targets met" if not missed else "targets missed: " + ", ".join(missed))
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
