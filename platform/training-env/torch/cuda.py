"""CUDA devices: there are none in this environment."""


def is_available():
    return False


def device_count():
    return 0


def get_device_properties(device):
    raise RuntimeError("Found no NVIDIA driver on your system: no CUDA device %r" % (device,))
