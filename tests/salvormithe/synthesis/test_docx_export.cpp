#include "synthesis/DocxExport.h"
#include "synthesis/TextExport.h"

#include "ExportTestUtil.h"
#include "TestUtil.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace fs = std::filesystem;
using namespace exporttest;

namespace {

ProjectVoice voiceOf(int id)
{
    ProjectVoice v;
    v.id = id;
    v.name = id == 0 ? "Alice" : "Bob <&> \"B\"";
    v.color = id == 0 ? "#A22A2B" : "no colour";
    return v;
}

ProjectSeg seg(int id, int voiceId, const std::string& text)
{
    ProjectSeg s = exporttest::seg(id, text);
    s.voice_id = voiceId;
    return s;
}

QByteArray unzip(const QStringList& args, int* code)
{
    QProcess p;
    p.start("unzip", args);
    p.waitForFinished(60000);
    *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return p.readAllStandardOutput();
}

} // namespace

TEST(DocxExport, EscapesMarkupAndLeavesOutWhatXmlForbids)
{
    struct Case
    {
        const char* in;
        const char* out;
    } cases[] = {
        {"a&b<c>\"d'", "a&amp;b&lt;c&gt;&quot;d'"},
        {"\t\n\r", "\t\n\r"},
        {"\x01x\x08\x0b\x0c\x1f\x7f", "x"},
        {"Grüße 你好 \xF0\x9F\x98\x80", "Grüße 你好 \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE\xEF\xBF\xBF|\xEF\xBF\xBD", "|\xEF\xBF\xBD"},  // U+FFFE, U+FFFF out; U+FFFD stays
        // Broken UTF-8 as the text writers give it: one U+FFFD a broken part.
        {"\xff\xc3(\xe2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(escapeXmlText(c.in), c.out) << c.in;
}

TEST(DocxExport, IsAWordPackageWithAParagraphPerSegment)
{
    testutil::TempDir dir;
    const fs::path path = dir.path() / "text.docx";
    const std::vector<ProjectSeg> segs{seg(1, 0, "Hello & <world>"), seg(2, 1, "Line one\r\nLine two\tend"),
                                       seg(3, 0, "\x01" "bell\xEF\xBF\xBE"), seg(4, 1, "")};
    struct Case
    {
        bool withSpeaker;
        QStringList expected;
    } cases[] = {
        {true, {"Alice:\nHello & <world>", "Bob <&> \"B\":\nLine one\nLine two\tend", "Alice:\nbell",
                "Bob <&> \"B\":\n"}},
        {false, {"Hello & <world>", "Line one\nLine two\tend", "bell", ""}},
    };
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(exportDocx(segs, voiceOf, path.u8string(), c.withSpeaker, error)) << error;

        int code = -1;
        const QString out = QString::fromUtf8(unzip({"-t", q(path)}, &code));
        EXPECT_EQ(code, 0) << out.toStdString();
        EXPECT_TRUE(out.contains("No errors detected")) << out.toStdString();
        const QStringList names = QString::fromUtf8(unzip({"-Z1", q(path)}, &code)).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(names, QStringList({"[Content_Types].xml", "_rels/.rels", "word/document.xml"}));
        for (const QString& name : names) {
            QString xmlError;
            // unzip takes names as patterns: "[" stands for itself as "[[]".
            QString pattern = name;
            pattern.replace("[", "[[]");
            const QStringList found = paragraphs(unzip({"-p", q(path), pattern}, &code), &xmlError);
            EXPECT_TRUE(xmlError.isEmpty()) << name.toStdString() << ": " << xmlError.toStdString();
            if (name == "word/document.xml") {
                EXPECT_EQ(found, c.expected) << c.withSpeaker;
            }
        }
    }

    // A folder where the file should go: the system's text, and no file.
    fs::create_directories(dir.path() / "folder.docx");
    std::string error;
    EXPECT_FALSE(exportDocx(segs, voiceOf, (dir.path() / "folder.docx").u8string(), true, error));
    EXPECT_EQ(error, std::strerror(EISDIR));
}

TEST(TextExport, AStoppedWriterLeavesNoFile)
{
    testutil::TempDir dir;
    std::atomic<bool> stop{true};
    const std::vector<ProjectSeg> segs{seg(1, 0, "A"), seg(2, 1, "B")};
    using Writer = bool (*)(const std::vector<ProjectSeg>&, const VoiceLookup&, const std::string&, bool,
                            std::string&, const std::atomic<bool>*);
    const std::pair<const char*, Writer> writers[] = {
        {"text.txt", exportText}, {"text.html", exportHtml}, {"text.docx", exportDocx}};
    for (const auto& [name, write] : writers) {
        std::string error = "untouched";
        EXPECT_FALSE(write(segs, voiceOf, (dir.path() / name).u8string(), true, error, &stop)) << name;
        EXPECT_EQ(error, "untouched") << name;
        EXPECT_FALSE(fs::exists(dir.path() / name)) << name;
    }
}
