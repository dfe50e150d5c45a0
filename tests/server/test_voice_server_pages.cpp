#include "InProcessServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

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
    testutil::TempDir dir;
    testutil::InProcessServer server(dir.path());
    auto res = httplib::Client("127.0.0.1", server.port).Get("/tutorial.html");
    ASSERT_TRUE(res);
    for (const std::string tab : {"Download a voice", "Available"})
        EXPECT_NE(res->body.find("tab <b>" + tab + "</b>"), std::string::npos) << tab;
}
