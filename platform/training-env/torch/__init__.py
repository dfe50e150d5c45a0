"""The part of torch that the programs ask about: whether a CUDA device is
there and how much memory it has. This environment trains on the CPU, so it
reports no device."""

from . import cuda

__version__ = "0.0+cpu"
__all__ = ["cuda"]
