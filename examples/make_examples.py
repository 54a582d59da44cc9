#!/usr/bin/env python3
"""Writes the example input pair wx.wav and yz.wav beside this script.

The pair is a first-order B-format recording of a 440 Hz tone that circles
the listener once, rising a little as it goes: wx.wav carries W (left) and
X (right), yz.wav carries Y (left) and Z (right). Both are canonical 44-byte
header WAV files, 16-bit stereo at 44100 Hz, 1.5 seconds long. The output is
the same on every run, so the files can be regenerated and compared.

Usage: python3 examples/make_examples.py [output folder]
"""

import math
import os
import struct
import sys

RATE = 44100
SECONDS = 1.5
TONE_HZ = 440.0
PEAK = 0.5 * 32767
FADE_SECONDS = 0.02


def canonical_wav(frames):
    """Returns the bytes of a 16-bit stereo WAV holding the (left, right) pairs."""
    data = b"".join(struct.pack("<hh", left, right) for left, right in frames)
    channels, bits = 2, 16
    block_align = channels * bits // 8
    header = struct.pack(
        "<4sI8sIhhIIhh4sI",
        b"RIFF", 36 + len(data), b"WAVEfmt ", 16, 1, channels,
        RATE, RATE * block_align, block_align, bits, b"data", len(data))
    return header + data


def to_sample(value):
    return max(-32768, min(32767, int(round(value))))


def b_format_frames():
    """Returns the W, X, Y, Z sample lists of the circling tone."""
    count = int(RATE * SECONDS)
    fade = int(RATE * FADE_SECONDS)
    w, x, y, z = [], [], [], []
    for n in range(count):
        t = n / RATE
        envelope = min(1.0, n / fade, (count - 1 - n) / fade)
        s = PEAK * envelope * math.sin(2 * math.pi * TONE_HZ * t)
        azimuth = 2 * math.pi * n / count
        elevation = 0.25 * math.pi * n / count
        w.append(to_sample(s / math.sqrt(2)))
        x.append(to_sample(s * math.cos(azimuth) * math.cos(elevation)))
        y.append(to_sample(s * math.sin(azimuth) * math.cos(elevation)))
        z.append(to_sample(s * math.sin(elevation)))
    return w, x, y, z


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    w, x, y, z = b_format_frames()
    for name, left, right in (("wx.wav", w, x), ("yz.wav", y, z)):
        path = os.path.join(folder, name)
        with open(path, "wb") as out:
            out.write(canonical_wav(zip(left, right)))
        print(path)


if __name__ == "__main__":
    main()
