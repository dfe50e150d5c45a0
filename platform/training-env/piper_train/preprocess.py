"""Dataset preprocessing.

Reads an LJSpeech-style "metadata.csv" (lines "wav/<id>.wav|text") from the
input folder, checks that every take is there and is a 16-bit WAV file,
measures the speaker's pitch and speaking rate, and writes "dataset.jsonl"
and "config.json" into the output folder. Failures print a line beginning
with "ERROR:" and exit with 1."""

import argparse
import concurrent.futures
import concurrent.futures.process
import json
import os
import sys

from . import files, lifetime, voice_analysis

# Takes measured for the pitch and frames measured in each; takes spoken by
# espeak-ng for the speaking rate.
PITCH_TAKES = 100
PITCH_FRAMES = 40
RATE_TAKES = 30


class PreprocessError(Exception):
    pass


def parse_args(argv):
    parser = argparse.ArgumentParser(prog="piper_train.preprocess")
    parser.add_argument("--language", required=True, help="espeak-ng voice language")
    parser.add_argument("--input-dir", required=True)
    parser.add_argument("--output-dir", required=True)
    parser.add_argument("--dataset-format", choices=["ljspeech"], required=True)
    parser.add_argument("--single-speaker", action="store_true")
    parser.add_argument("--sample-rate", type=int, required=True)
    parser.add_argument("--max-workers", type=int, default=1)
    return parser.parse_args(argv)


def read_metadata(input_dir):
    """[(relative path, absolute path, text)] in file order."""
    path = os.path.join(input_dir, "metadata.csv")
    try:
        with open(path, "r", encoding="utf-8") as f:
            lines = f.read().split("\n")
    except OSError as exc:
        raise PreprocessError("cannot read %s: %s" % (path, exc.strerror))
    except UnicodeDecodeError:
        raise PreprocessError("%s is not UTF-8 text" % path)
    utterances = []
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\r")
        if not line.strip():
            continue
        fields = line.split("|")
        if len(fields) < 2:
            raise PreprocessError("metadata.csv line %d has no text" % number)
        name = fields[0].strip().replace("\\", "/")
        if not name.lower().endswith(".wav"):
            name = "wav/%s.wav" % name
        utterances.append((name, os.path.join(input_dir, name), fields[-1]))
    return utterances


def check_take(utterance):
    name, path, _ = utterance
    if not os.path.isfile(path):
        raise PreprocessError("missing take %s (%s)" % (name, path))
    try:
        rate, samples = voice_analysis.read_take(path)
    except voice_analysis.TakeError as exc:
        raise PreprocessError("take %s %s" % (name, exc))
    if not samples:
        raise PreprocessError("take %s holds no audio" % name)
    return rate, samples


def measure_take(job):
    """(seconds, speech seconds, pitches, espeak-ng's speech seconds or None)."""
    utterance, language, with_pitch, with_rate = job
    rate, samples = check_take(utterance)
    seconds = len(samples) / rate
    speech = voice_analysis.speech_seconds(samples, rate)
    pitches = voice_analysis.take_pitches(samples, rate, PITCH_FRAMES) if with_pitch else []
    reference = None
    if with_rate and speech > 0 and utterance[2].strip():
        reference = voice_analysis.espeak_speech_seconds(language, utterance[2])
    return seconds, speech, pitches, reference


def measure_all(jobs, workers):
    """Measures the takes, in worker processes when there are several."""
    if workers > 1 and len(jobs) > 1:
        try:
            with concurrent.futures.ProcessPoolExecutor(max_workers=workers, initializer=lifetime.end_with_parent,
                                                        initargs=(os.getpid(),)) as pool:
                chunk = max(1, len(jobs) // (workers * 4))
                return list(pool.map(measure_take, jobs, chunksize=chunk))
        except (OSError, NotImplementedError, concurrent.futures.process.BrokenProcessPool):
            pass  # no working process pool here: measure in this process
    return [measure_take(job) for job in jobs]


def spread(count, wanted):
    """Indexes of `wanted` items spread evenly over `count`."""
    if count <= wanted:
        return set(range(count))
    return {i * count // wanted for i in range(wanted)}


def make_config(args, pitch, speaking_rate, count):
    config = {
        "dataset": os.path.basename(os.path.normpath(args.input_dir)),
        "audio": {"sample_rate": args.sample_rate},
        "espeak": {"voice": args.language},
        "language": {"code": args.language},
        "inference": {"noise_scale": 0.667, "length_scale": 1, "noise_w": 0.8},
        "phoneme_type": "espeak",
        "num_speakers": 1,
        "speaker_id_map": {},
        "num_utterances": count,
    }
    speech = {}
    if pitch is not None:
        speech["pitch_hz"] = round(pitch, 1)
    if speaking_rate is not None:
        speech["speaking_rate"] = round(speaking_rate, 3)
    if speech:
        config["speech"] = speech
    return config


def preprocess(args):
    if not args.language.strip():
        raise PreprocessError("no language given")
    if args.sample_rate <= 0:
        raise PreprocessError("invalid sample rate %d" % args.sample_rate)
    if not voice_analysis.espeak_program():
        raise PreprocessError("espeak-ng is not installed")
    if not voice_analysis.espeak_knows(args.language):
        raise PreprocessError("espeak-ng has no voice for the language %s" % args.language)

    utterances = read_metadata(args.input_dir)
    if not utterances:
        raise PreprocessError("metadata.csv lists no takes")
    print("Checking %d takes" % len(utterances), flush=True)

    pitch_set = spread(len(utterances), PITCH_TAKES)
    rate_set = spread(len(utterances), RATE_TAKES)
    jobs = [(u, args.language, i in pitch_set, i in rate_set) for i, u in enumerate(utterances)]
    results = measure_all(jobs, max(1, args.max_workers))

    pitches = []
    tempo = []
    for seconds, speech, take_pitches, reference in results:
        pitches.extend(take_pitches)
        if reference and speech > 0:
            tempo.append(reference / speech)
    pitch = voice_analysis.median(pitches)
    speaking_rate = voice_analysis.median(tempo)

    os.makedirs(args.output_dir, exist_ok=True)
    lines = []
    for (name, path, text), (seconds, speech, take_pitches, _) in zip(utterances, results):
        item = {"audio_path": os.path.abspath(path), "text": text, "duration": round(seconds, 3)}
        if take_pitches:
            item["pitch_hz"] = round(voice_analysis.median(take_pitches), 1)
        lines.append(json.dumps(item, ensure_ascii=False))
    dataset = "\n".join(lines) + "\n"
    files.write_replacing(os.path.join(args.output_dir, "dataset.jsonl"), dataset.encode("utf-8"))
    config = make_config(args, pitch, speaking_rate, len(utterances))
    files.write_replacing(os.path.join(args.output_dir, "config.json"),
                          (json.dumps(config, ensure_ascii=False, indent=4) + "\n").encode("utf-8"))

    pitch_text = "%.1f Hz" % pitch if pitch is not None else "not measured (no voiced speech)"
    rate_text = "%.2f" % speaking_rate if speaking_rate is not None else "not measured"
    print("Preprocessed %d takes: median pitch %s, speaking rate %s" % (len(utterances), pitch_text, rate_text),
          flush=True)


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    try:
        preprocess(args)
    except PreprocessError as exc:
        print("ERROR: %s" % exc, flush=True)
        return 1
    except OSError as exc:
        print("ERROR: %s" % exc, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
