"""Files written whole before they appear under their final name."""

import os


def write_replacing(path, data):
    """Writes the bytes through a temporary name, synced, then renames it over
    path, so a reader never meets a half-written file under its final name."""
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, path)
