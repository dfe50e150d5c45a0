#include "common/TextUtils.h"
#include "projects/ProjectDb.h"
#include "synthesis/DocxExport.h"
#include "synthesis/TextExport.h"

#include "ExportTestUtil.h"

#include "TestUtil.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace fs = std::filesystem;
using testutil::readFile;

namespace {

ProjectSeg seg(int id, int voiceId, const std::string& text)
{
    ProjectSeg s;
    s.id = id;
    s.voice_id = voiceId;
    s.text = text;
    return s;
}

ProjectVoice voiceOf(int id)
{
    ProjectVoice v;
    v.id = id;
    v.name = id == 0 ? "Alice" : "Bob <the> \"builder\"";
    v.color = id == 0 ? "#A22A2B" : "#010101";
    return v;
}

} // namespace

TEST(TextExport, EscapeHtmlReplacesMarkupAndKeepsUtf8)
{
    EXPECT_EQ(escapeHtml("a<b>&\"c'\r\nd"), "a&lt;b&gt;&amp;&quot;c&apos;<br/>d");
    EXPECT_EQ(escapeHtml("Grüße, 你好 \xF0\x9F\x98\x80"), "Grüße, 你好 \xF0\x9F\x98\x80");
    EXPECT_EQ(escapeHtml(""), "");
}

TEST(TextExport, PlainTextBytes)
{
    testutil::TempDir dir;
    const std::string path = (dir.path() / "text.txt").u8string();
    std::string error;
    ASSERT_TRUE(exportText({seg(1, 0, "A"), seg(2, 1, "B")}, voiceOf, path, false, error));
    EXPECT_EQ(readFile(path), "A\n\nB\n\n");

    // With speakers, the text is written as stored, without escaping.
    ASSERT_TRUE(exportText({seg(1, 0, "A & <b>"), seg(2, 1, "B\nC")}, voiceOf, path, true, error));
    EXPECT_EQ(readFile(path), "Alice:\nA & <b>\n\nBob <the> \"builder\":\nB\nC\n\n");

    ASSERT_TRUE(exportText({}, voiceOf, path, true, error));
    EXPECT_EQ(readFile(path), "");
}

TEST(TextExport, EveryWriterWritesWholeTextsAsValidUtf8)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case
    {
        std::string stored, written;
    };
    const std::vector<Case> cases = {
        {std::string("before\0after", 12), "beforeafter"},
        {"lone \xED\xA0\x80 surrogate", "lone " + fffd + fffd + fffd + " surrogate"},
        {"broken \xC3( and \xE2\x82", "broken " + fffd + "( and " + fffd},
        {"overlong \xC0\xAF, past the last \xF4\x90\x80\x80", "overlong " + fffd + fffd + ", past the last "
                                                                  + fffd + fffd + fffd + fffd},
        {"\x1B[31mred\x1B[0m \x07\x7F\xC2\x80\xC2\x9B", "[31mred[0m "},
        {"tab\tand\r\nlines\xC2\x85", "tab\tand\r\nlines\xC2\x85"},
        {"Grüße 你好 \xF0\x9F\x98\x80 \xEF\xBF\xBD", "Grüße 你好 \xF0\x9F\x98\x80 \xEF\xBF\xBD"},
    };
    // The segments come back from a project database, as an export reads them.
    testutil::TempDir dir;
    std::vector<ProjectSeg> segs;
    {
        ProjectDb db;
        ASSERT_TRUE(db.openProjectDb((dir.path() / "ttsdata").u8string())) << db.lastError();
        for (const Case& c : cases)
            segs.push_back(seg(0, 0, c.stored));
        ASSERT_TRUE(db.insertSegsAfter(0, segs, 0, 0)) << db.lastError();
        segs.clear();
        ASSERT_TRUE(db.loadSegs([&](const ProjectSeg& s) { segs.push_back(s); })) << db.lastError();
    }
    ASSERT_EQ(segs.size(), cases.size());
    // A speaker's name is cleaned the same way.
    auto voiceOf = [](int) {
        ProjectVoice v;
        v.name = "Ann\xFF\x1B";
        v.color = "#A22A2B";
        return v;
    };
    std::string error;
    const fs::path txt = dir.path() / "text.txt", html = dir.path() / "text.html", docx = dir.path() / "text.docx";
    ASSERT_TRUE(exportText(segs, voiceOf, txt.u8string(), true, error)) << error;
    ASSERT_TRUE(exportHtml(segs, voiceOf, html.u8string(), true, error)) << error;
    ASSERT_TRUE(exportDocx(segs, voiceOf, docx.u8string(), true, error)) << error;
    const std::string txtBytes = readFile(txt).toStdString(), htmlBytes = readFile(html).toStdString();
    int code = -1;
    const QString document = exporttest::run("unzip", {"-p", exporttest::q(docx), "word/document.xml"}, &code);
    QString xmlError;
    const QStringList paragraphs = exporttest::paragraphs(document.toUtf8(), &xmlError);
    EXPECT_TRUE(xmlError.isEmpty()) << xmlError.toStdString();
    ASSERT_EQ(paragraphs.size(), int(cases.size()));
    std::string expectedTxt;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(segs[i].text, cases[i].stored);
        expectedTxt += "Ann" + fffd + ":\n" + cases[i].written + "\n\n";
        EXPECT_NE(htmlBytes.find("\">Ann" + fffd + "</p>" + escapeHtml(cases[i].written) + "</div>"), std::string::npos);
        // The document drops carriage returns, as it always did.
        EXPECT_EQ(paragraphs[int(i)], QString::fromStdString("Ann" + fffd + ":\n" + cases[i].written).remove('\r'));
    }
    EXPECT_EQ(txtBytes, expectedTxt);
    for (const std::string& bytes : {txtBytes, htmlBytes, document.toStdString()})
        EXPECT_TRUE(isValidUtf8(bytes));
}

TEST(TextExport, OpenFailuresGiveTheSystemText)
{
    testutil::TempDir dir;
    std::string error;
    EXPECT_FALSE(exportText({seg(1, 0, "A")}, voiceOf, dir.path().u8string(), false, error));
    EXPECT_EQ(error, std::strerror(EISDIR));
    error.clear();
    EXPECT_FALSE(exportHtml({seg(1, 0, "A")}, voiceOf, (dir.path() / "no" / "text.html").u8string(),
                            false, error));
    EXPECT_EQ(error, std::strerror(ENOENT));
}

TEST(TextExport, HtmlPageWithEscapedTextAndEmbeddedImages)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.html";
    std::string error;
    ASSERT_TRUE(exportHtml({seg(1, 0, "x < y & \"z\"\r\nnext"), seg(2, 1, "Grüße")}, voiceOf,
                           path.u8string(), true, error))
        << error;
    const std::string html = readFile(path).toStdString();

    const std::string head = html.substr(0, 199);
    EXPECT_EQ(head.substr(0, 16), "<!DOCTYPE html>\n");
    EXPECT_EQ(head.substr(head.size() - 19), "initial-scale=1.0\">");
    EXPECT_EQ(html.substr(199, 36), "<title>text.html</title><style>\n* {\n");
    EXPECT_NE(html.find(".column {\n    display: flex;\n    flex-direction: column;\n}"),
              std::string::npos);

    const std::string body =
        "</style></head><body><div class=\"column\">"
        "<div class=\"row-left\"><div class=\"bb1\"><p style=\"text-align:left;color:#A22A2B\">Alice</p>"
        "x &lt; y &amp; &quot;z&quot;<br/>next</div></div>"
        "<div class=\"row-left\"><div class=\"bb1\"><p style=\"text-align:left;color:#010101\">"
        "Bob &lt;the&gt; &quot;builder&quot;</p>Grüße</div></div>"
        "</div></body></html>";
    ASSERT_GE(html.size(), body.size());
    EXPECT_EQ(html.substr(html.size() - body.size()), body);

    // The three bubble images travel inside the page as PNG data.
    const std::regex dataUrl("url\\(\"data:image/png;base64,([A-Za-z0-9+/=]+)\"\\)");
    std::vector<QSize> sizes;
    for (std::sregex_iterator it(html.begin(), html.end(), dataUrl), end; it != end; ++it) {
        QImage image;
        ASSERT_TRUE(image.loadFromData(QByteArray::fromBase64(QByteArray::fromStdString((*it)[1])), "PNG"));
        sizes.push_back(image.size());
    }
    EXPECT_EQ(sizes, (std::vector<QSize>{QSize(40, 30), QSize(40, 30), QSize(16, 19)}));
    EXPECT_NE(html.find("border-image-slice: 19 8 8 22 fill;"), std::string::npos);

    ASSERT_TRUE(exportHtml({seg(1, 0, "plain")}, voiceOf, path.u8string(), false, error));
    EXPECT_NE(readFile(path).toStdString().find("<div class=\"bb1\">plain</div>"), std::string::npos);
}
