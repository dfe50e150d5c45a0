"""Export of a checkpoint as the voice model file.

    python -m piper_train.export_onnx CHECKPOINT MODEL

Writes MODEL (through a temporary name) and exits with 0; a checkpoint that
is missing, empty or damaged prints an "ERROR:" line and exits with 1."""

import argparse
import hashlib
import json
import os
import sys

from . import checkpoint, files

MAGIC = b"QVVOICE1\n"


def main(argv=None):
    parser = argparse.ArgumentParser(prog="piper_train.export_onnx")
    parser.add_argument("checkpoint")
    parser.add_argument("output")
    args = parser.parse_args(sys.argv[1:] if argv is None else argv)
    try:
        meta, weights = checkpoint.read_checkpoint(args.checkpoint)
    except checkpoint.CheckpointError as exc:
        print("ERROR: %s" % exc, flush=True)
        return 1
    header = dict(meta)
    header["weights_sha256"] = hashlib.sha256(weights).hexdigest()
    data = MAGIC + json.dumps(header, sort_keys=True).encode("utf-8") + b"\n" + weights
    try:
        folder = os.path.dirname(os.path.abspath(args.output))
        os.makedirs(folder, exist_ok=True)
        files.write_replacing(args.output, data)
    except OSError as exc:
        print("ERROR: cannot write %s: %s" % (args.output, exc.strerror), flush=True)
        return 1
    print("Exported epoch %d to %s" % (meta["epoch"], args.output), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
