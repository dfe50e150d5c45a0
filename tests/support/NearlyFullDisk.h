#pragma once

#include "TestUtil.h"

#include <sys/mount.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace testutil {

// A small tmpfs of `size` bytes at dir, filled up to its last `room` bytes.
// Mounting needs root; `mounted` tells whether it worked.
class NearlyFullDisk
{
public:
    NearlyFullDisk(const std::filesystem::path& dir, size_t room, size_t size = 256 * 1024) : dir(dir)
    {
        std::filesystem::create_directories(dir);
        const std::string options = "size=" + std::to_string(size);
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
        if (mounted && room < size)
            writeFile(dir / "filler", QByteArray(int(size - room), 'f'));
    }
    ~NearlyFullDisk()
    {
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
    }
    NearlyFullDisk(const NearlyFullDisk&) = delete;
    NearlyFullDisk& operator=(const NearlyFullDisk&) = delete;

    bool mounted = false;

private:
    std::filesystem::path dir;
};

} // namespace testutil
