#include "common/AudioPlayerFile.h"

#include <SDL.h>

namespace {

AudioPlayerFile* self(SDL_RWops* rw)
{
    return static_cast<AudioPlayerFile*>(rw->hidden.unknown.data1);
}

Sint64 SDLCALL rwSize(SDL_RWops* rw)
{
    return self(rw)->length();
}

Sint64 SDLCALL rwSeek(SDL_RWops* rw, Sint64 offset, int whence)
{
    AudioPlayerFile* f = self(rw);
    Sint64 base = 0;
    if (whence == RW_SEEK_CUR)
        base = f->pos();
    else if (whence == RW_SEEK_END)
        base = f->length();
    else if (whence != RW_SEEK_SET)
        return SDL_SetError("Unknown seek origin");
    Sint64 target = base + offset;
    if (target < 0 || !f->seek(target))
        return SDL_SetError("Seek failed");
    return target;
}

size_t SDLCALL rwRead(SDL_RWops* rw, void* ptr, size_t size, size_t maxnum)
{
    if (size == 0 || maxnum == 0)
        return 0;
    AudioPlayerFile* f = self(rw);
    qint64 start = f->pos();
    size_t got = f->read(static_cast<unsigned char*>(ptr), size * maxnum);
    // Whole objects only: step back over a partial one.
    size_t whole = got / size;
    if (whole * size != got)
        f->seek(start + qint64(whole * size));
    return whole;
}

size_t SDLCALL rwWrite(SDL_RWops*, const void*, size_t, size_t)
{
    SDL_SetError("Read-only stream");
    return 0;
}

int SDLCALL rwClose(SDL_RWops* rw)
{
    SDL_FreeRW(rw);
    return 0;
}

} // namespace

AudioPlayerFile::AudioPlayerFile() = default;

AudioPlayerFile::~AudioPlayerFile() = default;

int AudioPlayerFile::eof()
{
    return file.atEnd() ? 1 : 0;
}

size_t AudioPlayerFile::read(unsigned char* dst, size_t bytes)
{
    qint64 n = file.read(reinterpret_cast<char*>(dst), qint64(bytes));
    return n > 0 ? size_t(n) : 0;
}

qint64 AudioPlayerFile::length()
{
    return file.size();
}

bool AudioPlayerFile::seek(qint64 offset)
{
    return file.seek(offset);
}

qint64 AudioPlayerFile::pos()
{
    return file.pos();
}

SDL_RWops* AudioPlayerFile::rwops()
{
    SDL_RWops* rw = SDL_AllocRW();
    if (!rw)
        return nullptr;
    rw->type = SDL_RWOPS_UNKNOWN;
    rw->size = rwSize;
    rw->seek = rwSeek;
    rw->read = rwRead;
    rw->write = rwWrite;
    rw->close = rwClose;
    rw->hidden.unknown.data1 = this;
    return rw;
}
