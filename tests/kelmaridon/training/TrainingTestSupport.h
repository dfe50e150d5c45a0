#pragma once

// Training folders, checkpoints and stand-in environments for the training tests.

#include "server/TrainingCatalogue.h"
#include "training/TrainingEnvironment.h"

#include "TestUtil.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace trainingtest {

inline QString q(const std::filesystem::path& p)
{
    return QString::fromStdString(p.u8string());
}

// A real zip checkpoint of about 64 KiB.
inline void writeCheckpoint(const std::filesystem::path& path, int epoch)
{
    std::string error;
    ASSERT_TRUE(TrainingCatalogue::writeCheckpoint(path, "en-us", epoch, epoch * 10, 64 * 1024, error)) << error;
}

// The same checkpoint with one byte of its data flipped.
inline void writeDamagedCheckpoint(const std::filesystem::path& path, int epoch)
{
    writeCheckpoint(path, epoch);
    QByteArray bytes = testutil::readFile(path);
    bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x40);
    testutil::writeFile(path, bytes);
}

// A training environment whose "python" is the given shell script, made the
// environment the programs use.
inline void useFakeEnvironment(const std::filesystem::path& root, const std::string& script)
{
    std::filesystem::create_directories(root);
    testutil::writeFile(root / "python", QByteArray::fromStdString("#!/bin/sh\n" + script));
    QFile::setPermissions(q(root / "python"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    saveTenvPath(q(root));
}

} // namespace trainingtest
