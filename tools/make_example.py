#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes examples/stereo-example.wav: 1.5 s of 16-bit 44.1 kHz stereo whose channels differ,
so that a downmix is plain to hear and to measure. Left: an A major chord. Right: a pulsing
660 Hz tone with a burst of noise in the middle. The same bytes on every run."""

import math
import struct
import sys
import wave
from pathlib import Path

RATE = 44100
SECONDS = 1.5
CHORD_HZ = (220.0, 277.18, 329.63)
TONE_HZ = 660.0
FADE_SECONDS = 0.02


def envelope(t):
    """Short fades at both ends, so the file starts and ends without a click."""
    return min(1.0, t / FADE_SECONDS, (SECONDS - t) / FADE_SECONDS)


def noise_samples(count, seed=12345):
    """A fixed linear congruential sequence: no dependence on a library's generator."""
    state = seed
    for _ in range(count):
        state = (state * 1103515245 + 12345) % 2**31
        yield state / 2**30 - 1.0


def frames():
    count = int(RATE * SECONDS)
    noise = noise_samples(count)
    for n in range(count):
        t = n / RATE
        left = 0.25 * sum(math.sin(2 * math.pi * f * t) for f in CHORD_HZ) / len(CHORD_HZ) * 2
        pulse = 0.5 + 0.5 * math.sin(2 * math.pi * 4 * t)
        right = 0.35 * pulse * math.sin(2 * math.pi * TONE_HZ * t)
        burst = next(noise)
        if 0.6 <= t < 0.9:
            right += 0.2 * burst
        gain = envelope(t)
        yield (round(32767 * gain * left), round(32767 * gain * right))


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parent.parent / "examples" / "stereo-example.wav"
    with wave.open(str(target), "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<hh", l, r) for l, r in frames()))
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
