// Every text kelmaridon shows is in its catalogue. The texts are taken from
// the sources at test time (lupdate over the program's QML files, as its
// resource file lists them, and its C++), so a text added without an entry fails.
#include "TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

struct Text
{
    QString context;
    QString source;
};

// The QML files the program carries, common components included.
QStringList qmlFiles(const QString& src)
{
    QString qrcPath = src + "/kelmaridon/res/kelmaridon.qrc";
    QFile qrc(qrcPath);
    if (!qrc.open(QIODevice::ReadOnly))
        return {};
    QStringList files;
    QRegularExpression entry(">([^<>]+\\.qml)</file>");
    for (auto it = entry.globalMatch(QString::fromUtf8(qrc.readAll())); it.hasNext();)
        files << QFileInfo(QFileInfo(qrcPath).dir(), it.next().captured(1)).canonicalFilePath();
    return files;
}

// The C++ sources compiled into the program.
QStringList cppFiles(const QString& src)
{
    QStringList files;
    for (const QString& dir : {src + "/kelmaridon", src + "/common"}) {
        QDirIterator it(dir, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    return files;
}

// The texts lupdate finds in files, by context.
std::vector<Text> extractTexts(const QString& src, const QStringList& files, const std::filesystem::path& work,
                               QString* error)
{
    QString list = QString::fromStdString((work / "files.lst").u8string());
    QString ts = QString::fromStdString((work / "found.ts").u8string());
    testutil::writeFile(work / "files.lst", (QStringList{"-I" + src + "/kelmaridon", "-I" + src} + files)
                                                .join('\n')
                                                .toUtf8());
    QProcess lupdate;
    lupdate.start(QStringLiteral(QV_LUPDATE), {"-silent", "@" + list, "-ts", ts});
    if (!lupdate.waitForFinished(120000) || lupdate.exitCode() != 0) {
        *error = "lupdate: " + QString::fromLocal8Bit(lupdate.readAllStandardError());
        return {};
    }
    QFile file(ts);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "no " + ts;
        return {};
    }
    std::vector<Text> texts;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            texts.push_back({context, xml.readElementText()});
    }
    if (xml.hasError())
        *error = xml.errorString();
    return texts;
}

} // namespace

TEST(KelmaridonCatalogue, EveryTextOfThePagesAndModelsHasAnEntry)
{
    const QString src = QFileInfo(QStringLiteral(QV_SOURCE_ROOT)).canonicalFilePath();
    QStringList qml = qmlFiles(src);
    // The pages, the program's own components and the common ones.
    EXPECT_TRUE(qml.contains(src + "/kelmaridon/qml/RecordingPrompt.qml"));
    EXPECT_TRUE(qml.contains(src + "/kelmaridon/qml/InstallCover.qml"));
    EXPECT_TRUE(qml.contains(src + "/common/qml/MainHeader.qml"));

    testutil::TempDir work;
    QString error;
    std::vector<Text> texts = extractTexts(src, qml + cppFiles(src), work.path(), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_GT(texts.size(), 100u);
    auto found = [&](const char* context, const char* source) {
        return std::any_of(texts.begin(), texts.end(),
                           [&](const Text& t) { return t.context == context && t.source == source; });
    };
    // From QML, from a model's tr and from a translate call outside a QObject.
    EXPECT_TRUE(found("RecordingPrompt", "Try again"));
    EXPECT_TRUE(found("RecordingDetailModel", "IDS_NO_PROMPTS."));
    EXPECT_TRUE(found("VoiceRecorder", "Start capture device failed."));

    QTranslator catalogue;
    ASSERT_TRUE(catalogue.load(QStringLiteral(QV_KELMARIDON_QM)));
    QStringList missing;
    for (const Text& t : texts) {
        if (catalogue.translate(t.context.toUtf8().constData(), t.source.toUtf8().constData()).isEmpty())
            missing << t.context + ": \"" + t.source + "\"";
    }
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " of " << texts.size()
                                   << " texts are missing from kelmaridon_en_US.ts:\n"
                                   << missing.join('\n').toStdString();
    // An id shows its text, not itself.
    EXPECT_EQ(catalogue.translate("RecordingDetailModel", "IDS_NO_PROMPTS."), "No more prompts.");
}
