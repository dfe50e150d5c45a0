#pragma once

// Runs the converter's worker mode ("salvormithe --convert") as the pool does.

#include "TestUtil.h"

#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

namespace testutil {

// One request for sentence spoken by speaker spk of the installed voice uid into
// wav; the exit code, with the worker's standard error in stderrText.
inline int runConvertWorker(const std::string& uid, int spk, const std::filesystem::path& wav,
                            const std::string& sentence, QString& stderrText)
{
    std::string body = R"({"voice_uid":")" + uid + R"(","voice_spk":)" + std::to_string(spk)
                       + R"(,"srate":1.0,"wav":")" + wav.u8string() + R"(","sentences":[")" + sentence + R"("]})";
    QByteArray input(4, '\0');
    uint32_t length = uint32_t(body.size());
    std::memcpy(input.data(), &length, 4);
    input.append(body.data(), int(body.size()));
    QProcess worker;
    worker.start(binDir() + "/salvormithe", {"--convert"});
    EXPECT_TRUE(worker.waitForStarted(hangLimitMs));
    worker.write(input);
    worker.closeWriteChannel();
    EXPECT_TRUE(worker.waitForFinished(hangLimitMs));
    stderrText = QString::fromUtf8(worker.readAllStandardError());
    return worker.exitCode();
}

} // namespace testutil
