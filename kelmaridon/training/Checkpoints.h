#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// One entry of an archive as the checkpoint check meets it.
struct ArchiveEntry
{
    std::string path;
    std::string name;
    unsigned type = 0;
    int64_t size = 0;
};

// The number after "epoch=" in a file name or path; 0 without one, and 0 when it
// does not fit an int.
int checkpointEpoch(const QString& text);
// The folder's non-empty "*.ckpt" files as absolute paths, highest epoch first.
QStringList listCheckpoints(const QString& folder);
// The epoch of the first entry of listCheckpoints, 0 when there is none.
int maxCheckpointEpoch(const QString& folder);
// 0: the file does not exist; 1: it was read whole; -1: reading it failed or it is empty.
int verifyCheckpoint(const QString& path);
// Reads every entry of an archive file with its data; false with the reason in
// error (when given) on the first failure.
bool readArchive(const std::string& path, std::vector<ArchiveEntry>& entries, std::string* error);
// The first checkpoint that reads whole, of the training's current run and then of
// its "pre" folder; the fallback unchecked when there is none.
QString firstUsableCheckpoint(const QString& trainingDir, const QString& fallback);
