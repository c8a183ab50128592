#!/usr/bin/env python3
"""Writes the alarm sound: a 0.3 s two-tone beep, 16-bit mono PCM at 22050 Hz.

    python3 tools/make_alarm_wav.py resources/sound/alarm.wav

Two short tones a fifth apart, each with a soft attack and release so that the speaker does not
click, and a moment of silence at the end so that repeated beeps stay distinct.
"""
import math
import struct
import sys
import wave

RATE = 22050
TONES = [(880.0, 0.13), (1320.0, 0.13)]  # frequency in Hz, length in seconds
GAP = 0.01
TAIL = 0.03
VOLUME = 0.55
RAMP = 0.008  # seconds of fade in and out per tone


def tone(frequency, seconds):
    count = int(RATE * seconds)
    ramp = int(RATE * RAMP)
    for n in range(count):
        envelope = min(1.0, n / ramp, (count - 1 - n) / ramp)
        # a little of the third harmonic makes the tone cut through fan noise
        value = math.sin(2 * math.pi * frequency * n / RATE)
        value += 0.25 * math.sin(2 * math.pi * 3 * frequency * n / RATE)
        yield VOLUME * envelope * value / 1.25


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def main(path):
    samples = []
    for index, (frequency, seconds) in enumerate(TONES):
        if index:
            samples.extend(silence(GAP))
        samples.extend(tone(frequency, seconds))
    samples.extend(silence(TAIL))
    frames = b"".join(struct.pack("<h", int(round(s * 32767))) for s in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)
    print(f"{path}: {len(samples) / RATE:.3f} s")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_alarm_wav.py <output.wav>")
    main(sys.argv[1])
