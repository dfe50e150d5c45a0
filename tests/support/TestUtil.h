#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>

namespace testutil {

// A fresh folder below the test's private root, removed with the object.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return dir; }

private:
    std::filesystem::path dir;
};

// Folder of the built programs.
QString binDir();
// The source tree.
QString sourceDir();

// Time limit for a step that takes seconds at most on a quiet machine: only a
// hang reaches it, however busy the machine is.
constexpr int hangLimitMs = 120000;

// Runs until pred is true or msec passed, processing events; returns pred().
bool waitFor(const std::function<bool()>& pred, int msec);
// Posts a call to this thread's events and processes events until it has run
// (or msec passed): what was posted to this thread before it has run by then.
bool postedCallsRun(int msec = hangLimitMs);

void writeFile(const std::filesystem::path& p, const QByteArray& bytes);
QByteArray readFile(const std::filesystem::path& p);

} // namespace testutil
