// Every text kelmaridon shows is in its catalogue. The texts are taken from
// the sources at test time (lupdate over the QML files its resource file
// lists, common components included, and its C++), so a text added without
// an entry fails.
#include "TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

TEST(KelmaridonCatalogue, EveryTextOfThePagesAndModelsHasAnEntry)
{
    const QString src = QFileInfo(testutil::sourceDir()).canonicalFilePath();
    const QDir res(src + "/kelmaridon/res");
    QStringList files{"-I" + src + "/kelmaridon", "-I" + src};
    QRegularExpression qml(">([^<>]+\\.qml)</file>");
    for (auto it = qml.globalMatch(QString::fromUtf8(testutil::readFile((res.path() + "/kelmaridon.qrc").toStdString())));
         it.hasNext();)
        files << QFileInfo(res, it.next().captured(1)).canonicalFilePath();
    EXPECT_TRUE(files.contains(src + "/common/qml/MainHeader.qml"));
    for (const QString& dir : {src + "/kelmaridon", src + "/common"}) {
        for (QDirIterator it(dir, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            files << it.next();
    }

    testutil::TempDir work;
    testutil::writeFile(work.path() / "files.lst", files.join('\n').toUtf8());
    const QString found = QString::fromStdString((work.path() / "found.ts").u8string());
    QProcess lupdate;
    lupdate.start(QStringLiteral(QV_LUPDATE),
                  {"-silent", "@" + QString::fromStdString((work.path() / "files.lst").u8string()), "-ts", found});
    ASSERT_TRUE(lupdate.waitForFinished(testutil::hangLimitMs) && lupdate.exitCode() == 0) << lupdate.readAllStandardError().toStdString();

    QTranslator catalogue;
    ASSERT_TRUE(catalogue.load(QStringLiteral(QV_KELMARIDON_QM)));
    QStringList texts, missing;
    QByteArray context;
    QXmlStreamReader xml(testutil::readFile(found.toStdString()));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText().toUtf8();
        } else if (xml.name() == QLatin1String("source")) {
            QString source = xml.readElementText();
            texts << context + ": \"" + source + "\"";
            if (catalogue.translate(context.constData(), source.toUtf8().constData()).isEmpty())
                missing << texts.last();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    // From QML, from a model's tr and from a translate call outside a QObject.
    ASSERT_GT(texts.size(), 100);
    EXPECT_TRUE(texts.contains("RecordingPrompt: \"Try again\""));
    EXPECT_TRUE(texts.contains("RecordingDetailModel: \"IDS_NO_PROMPTS.\""));
    EXPECT_TRUE(texts.contains("VoiceRecorder: \"Start capture device failed.\""));
    EXPECT_TRUE(missing.isEmpty()) << missing.size() << " of " << texts.size()
                                   << " texts are missing from kelmaridon_en_US.ts:\n"
                                   << missing.join('\n').toStdString();
    // An id shows its text, not itself.
    EXPECT_EQ(catalogue.translate("RecordingDetailModel", "IDS_NO_PROMPTS."), "No more prompts.");
}
