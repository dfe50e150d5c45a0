#pragma once

#include <QFile>
#include <QString>

#include <cstddef>

// A sound file read through Qt, so resource paths (":/...") play like local files.
class AudioPlayerFile
{
public:
    AudioPlayerFile();
    virtual ~AudioPlayerFile();
    AudioPlayerFile(const AudioPlayerFile&) = delete;
    AudioPlayerFile& operator=(const AudioPlayerFile&) = delete;

    // Opens a resource or a regular file for reading, without waiting on
    // what is not one (a pipe, a device); false with the reason in error.
    bool open(const QString& path, QString& error);

    virtual size_t read(unsigned char* dst, size_t bytes);
    virtual qint64 length();
    virtual bool seek(qint64 offset);

private:
    QFile file;
};
