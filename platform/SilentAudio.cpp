// A stand-in for espeak-ng's audio output library (libpcaudio), loaded before
// espeak-ng in processes that only ever take its samples through the callback.
// The real one loads the sound servers' libraries (some thirty in all) and
// probes the sound server each time espeak-ng is initialised, though the
// synchronous output never plays a sound. Built with the real one's name, so
// that espeak-ng binds to this one once it is loaded.
#include <cstddef>

extern "C" {

struct audio_object;

audio_object* create_audio_device_object(const char*, const char*, const char*)
{
    return nullptr;
}

int audio_object_open(audio_object*, int, unsigned, unsigned char)
{
    return -1;
}

void audio_object_close(audio_object*) {}

void audio_object_destroy(audio_object*) {}

int audio_object_write(audio_object*, const void*, size_t)
{
    return -1;
}

int audio_object_drain(audio_object*)
{
    return 0;
}

int audio_object_flush(audio_object*)
{
    return 0;
}

const char* audio_object_strerror(audio_object*, int)
{
    return "No audio output.";
}
}
