#pragma once

#include <QByteArray>

// Upper bounds of how long a compressed sound file plays, read from its bytes
// without decoding them: every frame or packet a decoder could find counts,
// so a file may play shorter than its bound but never longer.
class AudioPlayerProbe
{
public:
    enum class Kind { Mp3, Flac, OggVorbis };

    // Seconds; negative when the bytes give no bound (no stream information,
    // no Vorbis header, a rate of 0).
    static double maxSeconds(Kind kind, const QByteArray& bytes);

private:
    static double mp3Seconds(const unsigned char* p, size_t n);
    static double flacSeconds(const unsigned char* p, size_t n);
    static double vorbisSeconds(const unsigned char* p, size_t n);
};
