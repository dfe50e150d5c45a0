#include "InProcessServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <httplib.h>

#include <map>
#include <set>

TEST(VoiceServerPages, EveryPageTheProgramsOpenIsServed)
{
    // The addresses the programs' pages open below WEB_BASE_URL, but the update check.
    std::set<std::string> opened;
    const QRegularExpression use("WEB_BASE_URL(\\s*\\+\\s*\"([^\"?]*))?");
    for (const char* folder : {"salvormithe/qml", "kelmaridon/qml", "common/qml"}) {
        QDir dir(testutil::sourceDir() + "/" + folder);
        for (const QString& name : dir.entryList({"*.qml"}, QDir::Files)) {
            const QString text = QString::fromUtf8(testutil::readFile(dir.filePath(name).toStdString()));
            for (auto it = use.globalMatch(text); it.hasNext();) {
                std::string path = it.next().captured(2).toStdString();
                if (path != "check_update.php")
                    opened.insert(path);
            }
        }
    }
    const std::map<std::string, std::string> headings = {
        {"", "Quorvine Text to Speech"},
        {"tutorial.html", "How to use Quorvine Text to Speech"},
        {"terms.html", "Terms of Service"},
        {"privacy-policy.html", "Privacy Policy"},
    };
    std::set<std::string> known;
    for (const auto& h : headings)
        known.insert(h.first);
    EXPECT_EQ(opened, known);

    testutil::TempDir dir;
    testutil::InProcessServer server(dir.path());
    httplib::Client client("127.0.0.1", server.port);
    const QRegularExpression link("href=\"([^\"]*)\"");
    for (const auto& [path, heading] : headings) {
        auto res = client.Get("/" + path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 200) << path;
        EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
        EXPECT_NE(res->body.find("<h1>" + heading + "</h1>"), std::string::npos) << path;
        // Its links lead to pages of the server.
        for (auto it = link.globalMatch(QString::fromStdString(res->body)); it.hasNext();) {
            std::string target = it.next().captured(1).toStdString();
            auto linked = client.Get("/" + (target == "./" ? std::string() : target));
            ASSERT_TRUE(linked) << target;
            EXPECT_EQ(linked->status, 200) << path << " -> " << target;
        }
    }
    auto missing = client.Get("/missing.html");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST(VoiceServerPages, TheTutorialNamesTheVoicesTabsAsTheConverterShowsThem)
{
    // The tab buttons' source texts, and what the converter's catalogue shows for them.
    const QString src = testutil::sourceDir();
    const QString tabs = QString::fromUtf8(testutil::readFile((src + "/salvormithe/qml/VoiceTabs.qml").toStdString()));
    QStringList sources;
    const QRegularExpression tr("VoiceTabButton\\s*\\{[^}]*qsTr\\(\"([^\"]+)\"\\)");
    for (auto it = tr.globalMatch(tabs); it.hasNext();)
        sources << it.next().captured(1);
    ASSERT_EQ(sources.size(), 2);
    std::map<QString, QString> shown;
    QXmlStreamReader ts(testutil::readFile((src + "/salvormithe/res/translators/salvormithe_en_US.ts").toStdString()));
    QString context, source;
    while (!ts.atEnd()) {
        if (ts.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (ts.name() == QLatin1String("name"))
            context = ts.readElementText();
        else if (ts.name() == QLatin1String("source"))
            source = ts.readElementText();
        else if (ts.name() == QLatin1String("translation") && context == "VoiceTabs")
            shown[source] = ts.readElementText();
    }

    testutil::TempDir dir;
    testutil::InProcessServer server(dir.path());
    httplib::Client client("127.0.0.1", server.port);
    auto res = client.Get("/tutorial.html");
    ASSERT_TRUE(res);
    for (const QString& s : sources) {
        ASSERT_FALSE(shown[s].isEmpty()) << s.toStdString();
        EXPECT_NE(res->body.find("tab <b>" + shown[s].toStdString() + "</b>"), std::string::npos) << s.toStdString();
    }
}
