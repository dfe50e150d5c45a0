"""Measures a speaker's takes: the pitch of the voice and how fast it speaks.

Audio is analysed at about 8 kHz (blocks of samples summed, a simple low-pass
before the decimation). Pitch comes from the YIN difference function of 30 ms
frames; speech is the span between the first and the last frame whose energy
is not negligible."""

import array
import operator
import os
import shutil
import subprocess
import sys
import tempfile
import wave

from . import lifetime

ANALYSIS_RATE = 8000
FRAME_SECONDS = 0.03
HOP_SECONDS = 0.01
MIN_PITCH = 55.0
MAX_PITCH = 500.0
YIN_THRESHOLD = 0.15
ESPEAK_NORMAL_RATE = 175


class TakeError(Exception):
    pass


def read_take(path):
    """(sample rate, mono 16-bit samples) of a WAV file; raises TakeError for
    anything that is not 16-bit PCM WAV."""
    try:
        with wave.open(path, "rb") as w:
            if w.getsampwidth() != 2:
                raise TakeError("is not a 16-bit WAV file (%d-bit)" % (8 * w.getsampwidth()))
            rate = w.getframerate()
            channels = w.getnchannels()
            data = w.readframes(w.getnframes())
    except (wave.Error, EOFError) as exc:
        raise TakeError("is not a 16-bit WAV file (%s)" % exc)
    except OSError as exc:
        raise TakeError("cannot be read (%s)" % exc.strerror)
    samples = array.array("h")
    samples.frombytes(data[: len(data) - len(data) % 2])
    if sys.byteorder == "big":
        samples.byteswap()
    if channels > 1:
        samples = samples[::channels]
    return rate, samples


def decimate(samples, rate):
    step = max(1, round(rate / ANALYSIS_RATE))
    out = [sum(samples[i:i + step]) for i in range(0, len(samples) - step + 1, step)]
    return out, rate / step


def frame_energies(x, width, hop):
    return [(s, sum(map(operator.mul, x[s:s + width], x[s:s + width])))
            for s in range(0, len(x) - width + 1, hop)]


def loud_threshold(energies, share):
    values = sorted(e for _, e in energies)
    if not values:
        return None
    top = values[min(len(values) - 1, int(len(values) * 0.95))]
    return top * share if top > 0 else None


def speech_seconds(samples, rate):
    """Seconds from the first to the last frame that is not near-silent."""
    hop = max(1, int(rate * HOP_SECONDS))
    energies = frame_energies(samples, hop, hop)
    threshold = loud_threshold(energies, 0.01)
    if threshold is None:
        return 0.0
    loud = [s for s, e in energies if e > threshold]
    return (loud[-1] - loud[0] + hop) / rate


def frame_pitch(f, width, min_lag, max_lag, rate):
    """Pitch of one frame in Hz by YIN, None when it is not voiced."""
    squares = [0]
    for v in f:
        squares.append(squares[-1] + v * v)
    base = f[:width]
    e0 = squares[width]
    cmnd = [1.0] * (max_lag + 2)
    running = 0.0
    for tau in range(1, max_lag + 2):
        r = sum(map(operator.mul, base, f[tau:tau + width]))
        d = e0 + squares[tau + width] - squares[tau] - 2 * r
        running += d
        cmnd[tau] = d * tau / running if running > 0 else 1.0
    for tau in range(min_lag, max_lag + 1):
        if cmnd[tau] < YIN_THRESHOLD:
            while tau + 1 <= max_lag and cmnd[tau + 1] < cmnd[tau]:
                tau += 1
            a, b, c = cmnd[tau - 1], cmnd[tau], cmnd[tau + 1]
            curve = a - 2 * b + c
            offset = 0.5 * (a - c) / curve if curve > 0 else 0.0
            return rate / (tau + offset)
    return None


def take_pitches(samples, rate, max_frames):
    """Pitches of up to max_frames voiced frames spread over the take."""
    x, arate = decimate(samples, rate)
    width = int(arate * FRAME_SECONDS)
    min_lag = max(2, int(arate / MAX_PITCH))
    max_lag = int(arate / MIN_PITCH)
    span = width + max_lag + 1
    hop = max(1, int(arate * HOP_SECONDS))
    energies = [(s, e) for s, e in frame_energies(x, width, hop) if s + span <= len(x)]
    threshold = loud_threshold(energies, 0.03)
    if threshold is None:
        return []
    starts = [s for s, e in energies if e > threshold]
    if len(starts) > max_frames:
        starts = [starts[i * len(starts) // max_frames] for i in range(max_frames)]
    pitches = []
    for s in starts:
        p = frame_pitch(x[s:s + span], width, min_lag, max_lag, arate)
        if p is not None:
            pitches.append(p)
    return pitches


def median(values):
    values = sorted(values)
    if not values:
        return None
    mid = len(values) // 2
    return values[mid] if len(values) % 2 else (values[mid - 1] + values[mid]) / 2


def espeak_program():
    return shutil.which("espeak-ng")


def espeak_knows(language):
    """True when espeak-ng speaks the language."""
    with tempfile.TemporaryDirectory() as tmp:
        return espeak_wav(language, "a", os.path.join(tmp, "probe.wav"))


def espeak_wav(language, text, path):
    program = espeak_program()
    if not program:
        return False
    result = subprocess.run([program, "-v", language, "-s", str(ESPEAK_NORMAL_RATE), "-w", path, "--stdin"],
                            input=text.encode("utf-8"), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            preexec_fn=lifetime.child_setup())
    return result.returncode == 0 and os.path.isfile(path)


def espeak_speech_seconds(language, text):
    """Seconds of speech espeak-ng needs for the text at its normal rate."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "reference.wav")
        if not espeak_wav(language, text, path):
            return None
        rate, samples = read_take(path)
        return speech_seconds(samples, rate)
