#pragma once

#include "voices/VoiceBasics.h"

#include <filesystem>
#include <functional>
#include <string>

class VoiceTask;

// Installs a voice package (".orvelin") into the voice store: checks its
// header, unpacks and checks its whole archive, moves it into the voice folder
// named by the header's uid (an installed voice folder is kept as it is) and
// stores the header as that speaker's file, the only speaker it adds. When
// expectedUid or expectedSpk (>= 0) is given, a package for another voice or
// speaker is refused.
bool serverInstallVoice(const std::filesystem::path& packagePath, std::string& error, VoiceProgress progress,
                        VoiceTask* task, const std::string& expectedUid = std::string(), int expectedSpk = -1);

// Fills buffer with up to size bytes of the archive: the count, 0 at the end, -1 to abort.
using ArchiveReader = std::function<int(char* buffer, int size)>;
// Called after every block written: the output path, the position in the archive
// and the archive's size; false stops the extraction.
using ArchiveBlockFn = std::function<bool(const std::string& name, int64_t position, int64_t total)>;

// What one extraction may write: bytes in all (negative: no limit), with the
// error reported beyond them, and entries.
struct ExtractLimits
{
    int64_t maxBytes = -1;
    std::string tooLarge;
    int maxEntries = 10000;
};

// What stopped an extraction with the library's or the system's text: the
// archive itself, or writing what it holds. None for the other stops.
enum class ExtractProblem { None, Damaged, Disk };

// Unpacks the archive read through reader into targetDir. Returns the UTF-8 path of
// the top folder of the first entry written (empty when nothing was written); ok
// tells success. Entries that would leave targetDir (absolute paths, ".."), links,
// and two entries that name the same path once cleaned are refused. Long paths
// in the error text are cut in their middle.
std::string extractArchive(ArchiveReader reader, int64_t payloadSize, const std::filesystem::path& targetDir, bool& ok,
                           std::string& error, ArchiveBlockFn onBlock, const ExtractLimits& limits = {},
                           ExtractProblem* problem = nullptr);
