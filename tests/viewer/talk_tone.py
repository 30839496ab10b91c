#!/usr/bin/env python3
"""Whether a talk WAV carries the raw tone it was recorded from: SNR (dB) after aligning by up
to one talk buffer, at least the threshold given. Usage: talk_tone.py TONE.raw TALK.wav MIN_DB"""
import array
import math
import sys
import wave

BUFFER = 512
SEARCH = 2048  # samples the alignment is sought over


def samples_of_raw(path):
    pcm = array.array("h")
    with open(path, "rb") as f:
        pcm.frombytes(f.read())
    return pcm


def samples_of_wav(path):
    with wave.open(path, "rb") as w:
        if (w.getnchannels(), w.getsampwidth(), w.getframerate()) != (1, 2, 8000):
            sys.exit(f"{path}: not 8000 Hz 16-bit mono")
        pcm = array.array("h")
        pcm.frombytes(w.readframes(w.getnframes()))
        return pcm


def best_shift(sent, heard):
    def error(shift):
        return sum((heard[i] - sent[i + shift]) ** 2 for i in range(SEARCH))
    return min(range(0, BUFFER + 1), key=error)


def main():
    sent, heard = samples_of_raw(sys.argv[1]), samples_of_wav(sys.argv[2])
    minimum = float(sys.argv[3])
    if len(heard) < SEARCH or len(sent) < len(heard):
        sys.exit(f"{len(heard)} samples heard")
    shift = best_shift(sent, heard)
    length = min(len(heard), len(sent) - shift)
    signal = sum(sent[i + shift] ** 2 for i in range(length))
    noise = sum((heard[i] - sent[i + shift]) ** 2 for i in range(length)) or 1
    snr = 10 * math.log10(signal / noise)
    print(f"talk tone: {length} samples, shift {shift}, SNR {snr:.1f} dB")
    sys.exit(0 if snr >= minimum else 1)


main()
