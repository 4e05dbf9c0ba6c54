#!/usr/bin/env python3
"""Remakes the two notification sounds: HostDown.wav (an alarm) and HostUp.wav (a recovery chime).

Both are PCM WAVE files, mono, 16-bit, 22050 samples per second, 0.83 s long, synthesised here
with nothing but the standard library, so the same bytes come out on every machine.

    python3 make-sounds.py          # writes both files next to this script
"""

import argparse
import math
import os
import struct
import sys
import wave

RATE = 22050
LENGTH = round(0.83 * RATE)
HERE = os.path.dirname(os.path.abspath(__file__))


def envelope(t, length, attack=0.004, release=0.012):
    """Short linear fades so no tone starts or stops with a click."""
    if t < 0 or t >= length:
        return 0.0
    return min(1.0, t / attack, (length - t) / release)


def alarm():
    """Host down: three pairs of urgent beeps falling from B5 to F#5, with a hard, reedy timbre."""
    samples = [0.0] * LENGTH
    beep, pause, pair = 0.115, 0.02, 0.275
    for start_pair in (0.0, pair, 2 * pair):
        for offset, frequency in ((0.0, 987.77), (beep + pause, 739.99)):
            start = start_pair + offset
            first = int(start * RATE)
            for i in range(first, min(LENGTH, first + int(beep * RATE))):
                t = i / RATE - start
                phase = 2 * math.pi * frequency * t
                # The odd harmonics of a square wave, cut after the fifth to stay free of aliasing.
                tone = math.sin(phase) + math.sin(3 * phase) / 3 + math.sin(5 * phase) / 5
                samples[i] += 0.55 * envelope(t, beep) * tone
    return samples


def chime():
    """Host up: a bright rising major arpeggio C6-E6-G6 with soft bell-like decays."""
    samples = [0.0] * LENGTH
    notes = ((0.0, 1046.50), (0.11, 1318.51), (0.22, 1567.98))
    for start, frequency in notes:
        first = int(start * RATE)
        length = LENGTH / RATE - start
        for i in range(first, LENGTH):
            t = i / RATE - start
            phase = 2 * math.pi * frequency * t
            tone = math.sin(phase) + 0.25 * math.sin(2 * phase) + 0.08 * math.sin(3 * phase)
            decay = math.exp(-t * 5.0)
            samples[i] += 0.33 * envelope(t, length, attack=0.006, release=0.08) * decay * tone
    return samples


def write_wav(path, samples):
    # Both files peak at the same level, well below full scale, so neither startles nor clips.
    peak = max(abs(s) for s in samples)
    frames = b"".join(struct.pack("<h", int(round(32767 * 0.7 * s / peak))) for s in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=HERE, help="folder for the WAV files")
    args = parser.parse_args()
    write_wav(os.path.join(args.out, "HostDown.wav"), alarm())
    write_wav(os.path.join(args.out, "HostUp.wav"), chime())
    return 0


if __name__ == "__main__":
    sys.exit(main())
