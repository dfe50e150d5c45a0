#include "synthesis/DocxExport.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"

#include <archive.h>
#include <archive_entry.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

namespace {

const char* const contentTypesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";

const char* const relsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "</Relationships>";

// A4 with margins of one inch, in twentieths of a point.
const char* const sectionXml =
    "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
    "<w:pgMar w:top=\"1440\" w:right=\"1440\" w:bottom=\"1440\" w:left=\"1440\" "
    "w:header=\"708\" w:footer=\"708\" w:gutter=\"0\"/></w:sectPr>";

// The content of a run: line feeds become breaks, tabs tabs, carriage
// returns are dropped.
std::string runContent(const std::string& text)
{
    std::string out, piece;
    auto flush = [&]() {
        if (!piece.empty())
            out += "<w:t xml:space=\"preserve\">" + escapeXmlText(piece) + "</w:t>";
        piece.clear();
    };
    for (char c : text) {
        if (c == '\n') {
            flush();
            out += "<w:br/>";
        } else if (c == '\t') {
            flush();
            out += "<w:tab/>";
        } else if (c != '\r') {
            piece += c;
        }
    }
    flush();
    return out;
}

// "#RRGGBB" as Word's "RRGGBB"; empty for anything else.
std::string wordColor(const std::string& color)
{
    if (color.size() != 7 || color[0] != '#')
        return std::string();
    for (size_t i = 1; i < 7; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(color[i])))
            return std::string();
    return color.substr(1);
}

using Archive = std::unique_ptr<struct archive, int (*)(struct archive*)>;

la_ssize_t appendBytes(struct archive*, void* sink, const void* data, size_t size)
{
    static_cast<std::string*>(sink)->append(static_cast<const char*>(data), size);
    return la_ssize_t(size);
}

bool addPart(struct archive* a, const char* name, const std::string& data)
{
    std::unique_ptr<struct archive_entry, void (*)(struct archive_entry*)> entry(archive_entry_new(),
                                                                                 archive_entry_free);
    archive_entry_set_pathname(entry.get(), name);
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), la_int64_t(data.size()));
    archive_entry_set_mtime(entry.get(), std::time(nullptr), 0);
    if (archive_write_header(a, entry.get()) != ARCHIVE_OK)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        la_ssize_t n = archive_write_data(a, data.data() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return archive_write_finish_entry(a) == ARCHIVE_OK;
}

// The zip package of a document, built in memory: the file is written in
// one go afterwards, so a failing disk never meets the archive half-way.
bool packDocx(const std::string& document, std::string& package, std::string& error)
{
    Archive a(archive_write_new(), archive_write_free);
    const std::pair<const char*, std::string> parts[] = {
        {"[Content_Types].xml", contentTypesXml}, {"_rels/.rels", relsXml}, {"word/document.xml", document}};
    bool ok = a && archive_write_set_format_zip(a.get()) == ARCHIVE_OK &&
              archive_write_zip_set_compression_deflate(a.get()) == ARCHIVE_OK &&
              archive_write_set_bytes_in_last_block(a.get(), 1) == ARCHIVE_OK &&
              archive_write_open2(a.get(), &package, nullptr, appendBytes, nullptr, nullptr) == ARCHIVE_OK;
    for (const auto& [name, data] : parts) {
        if (!ok)
            break;
        ok = addPart(a.get(), name, data);
    }
    // The package's central directory is written on close.
    if (ok)
        ok = archive_write_close(a.get()) == ARCHIVE_OK;
    if (!ok) {
        const char* text = a ? archive_error_string(a.get()) : nullptr;
        error = text ? text : std::strerror(ENOMEM);
    }
    return ok;
}

} // namespace

std::string escapeXmlText(const std::string& text)
{
    const std::string clean = cleanUtf8Text(text);
    std::string out;
    out.reserve(clean.size());
    for (size_t i = 0; i < clean.size(); ++i) {
        switch (clean[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // U+FFFE and U+FFFF, which XML does not allow.
            if (clean.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < clean.size()
                && (clean[i + 2] == '\xBE' || clean[i + 2] == '\xBF')) {
                i += 2;
                break;
            }
            out += clean[i];
            break;
        }
    }
    return out;
}

std::string docxDocumentXml(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                            bool withSpeaker, const std::atomic<bool>* stop)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                      "<w:body>";
    for (const ProjectSeg& seg : segs) {
        if (stop && *stop)
            break;
        xml += "<w:p><w:pPr><w:spacing w:after=\"200\"/></w:pPr>";
        if (withSpeaker) {
            const ProjectVoice voice = voiceOf(seg.voice_id);
            const std::string color = wordColor(voice.color);
            xml += "<w:r><w:rPr><w:b/>";
            if (!color.empty())
                xml += "<w:color w:val=\"" + color + "\"/>";
            xml += "</w:rPr>" + runContent(voice.name + ":") + "<w:br/></w:r>";
        }
        xml += "<w:r>" + runContent(seg.text) + "</w:r></w:p>";
    }
    xml += sectionXml;
    xml += "</w:body></w:document>";
    return xml;
}

bool exportDocx(const std::vector<ProjectSeg>& segs, const VoiceLookup& voiceOf,
                const std::string& path, bool withSpeaker, std::string& error,
                const std::atomic<bool>* stop)
{
    const std::string document = docxDocumentXml(segs, voiceOf, withSpeaker, stop);
    if (stop && *stop)
        return false;
    std::string package;
    if (!packDocx(document, package, error))
        return false;

    // A file cut short (a full disk) is no document: it is removed.
    if (writeFreshFile(utf8ToPath(path), package, false))
        return true;
    error = std::strerror(errno);
    return false;
}
