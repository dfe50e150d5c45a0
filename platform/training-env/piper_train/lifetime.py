"""Processes that end with the process that started them.

The tools run child processes of their own (the preprocessing's workers, and
espeak-ng); each asks the kernel to kill it when its parent ends, so none
lives on after the program that ran the tool was killed."""

import ctypes
import os
import signal
import sys

PR_SET_PDEATHSIG = 1


def _load_prctl():
    if not sys.platform.startswith("linux"):
        return None
    try:
        return ctypes.CDLL(None, use_errno=True).prctl
    except (OSError, AttributeError):
        return None


# Looked up here, not in a child between fork and exec.
_prctl = _load_prctl()


def end_with_parent(parent=None):
    """Has this process killed when its parent ends; `parent` is the pid the
    caller knew as the parent, so a parent gone already ends this one now.
    Nothing happens where the kernel offers no such request."""
    if _prctl is None:
        return
    _prctl(PR_SET_PDEATHSIG, int(signal.SIGKILL), 0, 0, 0)
    if parent is not None and os.getppid() != parent:
        os._exit(1)


def child_setup():
    """A preexec_fn for subprocess: the child ends with this process."""
    parent = os.getpid()
    return lambda: end_with_parent(parent)
