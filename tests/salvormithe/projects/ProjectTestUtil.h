#pragma once

#include "projects/ProjectFolder.h"
#include "voices/LocalVoice.h"

#include "TestUtil.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>

#include <gtest/gtest.h>

namespace projecttest {

inline LocalVoice voice(const std::string& uid, int spk, const std::string& name = "Amy")
{
    LocalVoice v;
    v.uid = uid;
    v.spk = spk;
    v.name = name;
    v.lang = "en_US";
    v.eng = "English";
    v.native = "English";
    v.quality = 2;
    v.sex = 1;
    return v;
}

// Output of Debian's sqlite3 program run on a database file.
inline QString sqliteShell(const std::filesystem::path& db, const QString& sql)
{
    QProcess p;
    p.start("sqlite3", {QString::fromStdString(db.string()), sql});
    p.waitForFinished(testutil::hangLimitMs);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A test that starts and ends without the projects folder.
class WithoutProjects : public ::testing::Test
{
protected:
    void SetUp() override { std::filesystem::remove_all(ProjectFolder::projectsDir()); }
    void TearDown() override { std::filesystem::remove_all(ProjectFolder::projectsDir()); }
};

} // namespace projecttest
