"""Training.

Trains on the preprocessed dataset of --dataset-dir and writes a checkpoint
every --checkpoint-epochs epochs into
lightning_logs/version_0/checkpoints/epoch=E-step=S.ckpt, until --max_epochs
or until it is stopped. --resume_from_checkpoint continues from the epoch of
that checkpoint.

Environment: QV_TRAIN_EPOCH_SECONDS sets the time one epoch takes (default
0.5); QV_TRAIN_STOP_AFTER=N ends the run after N checkpoints."""

import argparse
import json
import math
import os
import sys
import time

import torch

from . import checkpoint

KEEP_CHECKPOINTS = 3


def parse_args(argv):
    parser = argparse.ArgumentParser(prog="piper_train")
    parser.add_argument("--dataset-dir", required=True)
    parser.add_argument("--devices", type=int, default=1)
    parser.add_argument("--batch-size", type=int, required=True)
    parser.add_argument("--validation-split", type=float, default=0.0)
    parser.add_argument("--num-test-examples", type=int, default=0)
    parser.add_argument("--max_epochs", type=int, default=20000)
    parser.add_argument("--checkpoint-epochs", type=int, default=5)
    parser.add_argument("--accelerator", default="cpu")
    parser.add_argument("--resume_from_checkpoint")
    return parser.parse_args(argv)


def env_number(name, default, kind):
    try:
        return kind(os.environ.get(name, default))
    except ValueError:
        return kind(default)


def load_dataset(dataset_dir):
    """(config, number of utterances); exits with an error line when the
    folder has not been preprocessed."""
    try:
        with open(os.path.join(dataset_dir, "config.json"), encoding="utf-8") as f:
            config = json.load(f)
        with open(os.path.join(dataset_dir, "dataset.jsonl"), encoding="utf-8") as f:
            count = sum(1 for line in f if line.strip())
    except (OSError, ValueError) as exc:
        print("ERROR: the dataset in %s is not preprocessed (%s)" % (dataset_dir, exc), flush=True)
        sys.exit(1)
    if count == 0:
        print("ERROR: the dataset in %s has no utterances" % dataset_dir, flush=True)
        sys.exit(1)
    return config, count


def prune(folder, keep):
    """Removes all but the newest `keep` checkpoints."""
    names = [n for n in os.listdir(folder) if n.endswith(".ckpt")]
    names.sort(key=checkpoint.epoch_from_name, reverse=True)
    for name in names[keep:]:
        try:
            os.remove(os.path.join(folder, name))
        except OSError:
            pass


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if args.batch_size < 1 or args.checkpoint_epochs < 1:
        print("ERROR: batch size and checkpoint epochs must be at least 1", flush=True)
        return 1
    config, count = load_dataset(args.dataset_dir)

    epoch = 0
    if args.resume_from_checkpoint:
        try:
            meta, _ = checkpoint.read_checkpoint(args.resume_from_checkpoint)
        except checkpoint.CheckpointError as exc:
            print("ERROR: %s" % exc, flush=True)
            return 1
        epoch = meta["epoch"]
        print("Resuming from %s at epoch %d" % (args.resume_from_checkpoint, epoch), flush=True)
    else:
        print("Training from the start", flush=True)
    if args.accelerator == "gpu" and not torch.cuda.is_available():
        print("No CUDA device: training on the CPU", flush=True)

    steps_per_epoch = max(1, math.ceil(count / args.batch_size))
    folder = os.path.join(args.dataset_dir, "lightning_logs", "version_0", "checkpoints")
    os.makedirs(folder, exist_ok=True)
    epoch_seconds = max(0.0, env_number("QV_TRAIN_EPOCH_SECONDS", "0.5", float))
    stop_after = env_number("QV_TRAIN_STOP_AFTER", "0", int)
    config_text = json.dumps(config, sort_keys=True)
    print("Training on %d utterances, batch size %d, %d steps an epoch" % (count, args.batch_size, steps_per_epoch),
          flush=True)

    written = 0
    while epoch < args.max_epochs:
        time.sleep(epoch_seconds)
        epoch += 1
        if epoch % args.checkpoint_epochs and epoch != args.max_epochs:
            continue
        step = epoch * steps_per_epoch
        name = "epoch=%d-step=%d.ckpt" % (epoch, step)
        meta = {"epoch": epoch, "global_step": step, "batch_size": args.batch_size, "utterances": count,
                "language": config.get("espeak", {}).get("voice", "")}
        checkpoint.write_checkpoint(os.path.join(folder, name), meta,
                                    checkpoint.make_weights("%d:%s" % (epoch, config_text)))
        prune(folder, KEEP_CHECKPOINTS)
        print("Epoch %d: saved checkpoint %s" % (epoch, name), flush=True)
        written += 1
        if stop_after and written >= stop_after:
            break
    print("Training ended at epoch %d" % epoch, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
