#pragma once

#include <QFile>

#include <cstddef>

struct SDL_RWops;

// A sound file read through Qt, so resource paths (":/...") play like local files.
class AudioPlayerFile
{
public:
    AudioPlayerFile();
    virtual ~AudioPlayerFile();
    AudioPlayerFile(const AudioPlayerFile&) = delete;
    AudioPlayerFile& operator=(const AudioPlayerFile&) = delete;

    QFile& qfile() { return file; }

    virtual int eof();
    virtual size_t read(unsigned char* dst, size_t bytes);
    virtual qint64 length();
    virtual bool seek(qint64 offset);
    virtual qint64 pos();

    // A read-only SDL stream over this file. The stream does not own the file;
    // closing it frees only the stream.
    SDL_RWops* rwops();

private:
    QFile file;
};
