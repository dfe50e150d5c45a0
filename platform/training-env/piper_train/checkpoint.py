"""Checkpoint files: zip archives holding the training state.

    checkpoint/meta.json    epoch, global step and what the run trained on
    checkpoint/weights.bin  the model's parameters
"""

import hashlib
import io
import json
import os
import re
import zipfile

from . import files

META = "checkpoint/meta.json"
WEIGHTS = "checkpoint/weights.bin"
WEIGHTS_SIZE = 256 * 1024


class CheckpointError(Exception):
    pass


def epoch_from_name(path):
    """The number after "epoch=" in the file name, 0 without one."""
    match = re.search(r"epoch=(\d+)", os.path.basename(path))
    return int(match.group(1)) if match else 0


def make_weights(seed):
    """Parameters derived from the run's state, so equal runs give equal files."""
    return hashlib.shake_256(seed.encode("utf-8")).digest(WEIGHTS_SIZE)


def write_checkpoint(path, meta, weights):
    """Writes the archive whole before it appears under its final name."""
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", compression=zipfile.ZIP_DEFLATED) as archive:
        archive.writestr(META, json.dumps(meta, sort_keys=True, indent=1))
        archive.writestr(WEIGHTS, weights)
    files.write_replacing(path, data.getvalue())


def read_checkpoint(path):
    """The checkpoint's metadata and weights; every member is read and its
    checksum tested. Raises CheckpointError when the file cannot serve."""
    if not os.path.isfile(path):
        raise CheckpointError("checkpoint not found: %s" % path)
    if os.path.getsize(path) == 0:
        raise CheckpointError("checkpoint is empty: %s" % path)
    try:
        with zipfile.ZipFile(path) as archive:
            damaged = archive.testzip()
            if damaged is not None:
                raise CheckpointError("checkpoint member %s is damaged: %s" % (damaged, path))
            names = archive.namelist()
            meta = json.loads(archive.read(META)) if META in names else {}
            weights = archive.read(WEIGHTS) if WEIGHTS in names else b""
    except (zipfile.BadZipFile, zipfile.LargeZipFile, OSError, EOFError, ValueError) as exc:
        raise CheckpointError("checkpoint cannot be read: %s (%s)" % (path, exc))
    if not isinstance(meta, dict):
        raise CheckpointError("checkpoint has no usable metadata: %s" % path)
    if not isinstance(meta.get("epoch"), int) or meta["epoch"] < 0:
        meta["epoch"] = epoch_from_name(path)
    return meta, weights
