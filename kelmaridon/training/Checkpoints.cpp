#include "training/Checkpoints.h"

#include <archive.h>
#include <archive_entry.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <regex>

namespace {

constexpr size_t kBlock = 0x40000;

struct StreamReader
{
    FILE* file = nullptr;
    std::vector<char> buffer = std::vector<char>(kBlock);
};

la_int64_t seekTo(archive*, void* data, la_int64_t offset, int whence)
{
    auto* reader = static_cast<StreamReader*>(data);
    if (::fseeko(reader->file, off_t(offset), whence) != 0)
        return ARCHIVE_FATAL;
    return la_int64_t(::ftello(reader->file));
}

// A zip is read as the training tool reads it: through its central
// directory at the end, so one cut short anywhere is refused.
bool looksLikeZip(FILE* file)
{
    char magic[2] = {0, 0};
    size_t n = std::fread(magic, 1, sizeof magic, file);
    std::rewind(file);
    return n == 2 && magic[0] == 'P' && magic[1] == 'K';
}

la_ssize_t readBlock(archive* a, void* data, const void** block)
{
    auto* reader = static_cast<StreamReader*>(data);
    size_t n = std::fread(reader->buffer.data(), 1, reader->buffer.size(), reader->file);
    if (n == 0 && std::ferror(reader->file)) {
        archive_set_error(a, errno, "read failed");
        return ARCHIVE_FATAL;
    }
    *block = reader->buffer.data();
    return la_ssize_t(n);
}

int noOp(archive*, void*)
{
    return ARCHIVE_OK;
}

std::string cleanEntryPath(const char* raw)
{
    static const std::regex leadingDot("^\\./");
    std::string path = std::regex_replace(std::string(raw ? raw : ""), leadingDot, "");
    path.erase(std::remove_if(path.begin(), path.end(),
                              [](char c) { return std::strchr("\\:*?\"<>|\n\r\t", c) && c != '\0'; }),
               path.end());
    return path;
}

void setError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

int checkpointEpoch(const QString& text)
{
    static const std::regex epoch("epoch=(\\d+)");
    std::string s = text.toStdString();
    std::smatch m;
    if (!std::regex_search(s, m, epoch))
        return 0;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(m[1].str().c_str(), &end, 10);
    if (errno == ERANGE || value > INT_MAX)
        return 0;
    return int(value);
}

QStringList listCheckpoints(const QString& folder)
{
    QFileInfoList files = QDir(folder).entryInfoList({"*.ckpt"}, QDir::Files, QDir::Unsorted);
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return checkpointEpoch(a.fileName()) > checkpointEpoch(b.fileName());
    });
    QStringList out;
    for (const QFileInfo& f : files) {
        if (f.size() != 0)
            out << f.absoluteFilePath();
    }
    return out;
}

int maxCheckpointEpoch(const QString& folder)
{
    QStringList list = listCheckpoints(folder);
    return list.isEmpty() ? 0 : checkpointEpoch(QFileInfo(list.first()).fileName());
}

int verifyCheckpoint(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists())
        return 0;
    // libarchive reads an empty file as an empty archive; it holds no checkpoint.
    if (info.isFile() && info.size() == 0)
        return -1;
    std::vector<ArchiveEntry> entries;
    return readArchive(path.toStdString(), entries, nullptr) ? 1 : -1;
}

bool readArchive(const std::string& path, std::vector<ArchiveEntry>& entries, std::string* error)
{
    StreamReader reader;
    reader.file = std::fopen(path.c_str(), "rb");
    if (!reader.file) {
        setError(error, std::strerror(errno));
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> closeFile(reader.file, std::fclose);
    std::unique_ptr<archive, int (*)(archive*)> a(archive_read_new(), archive_read_free);
    if (looksLikeZip(reader.file)) {
        archive_read_support_format_zip_seekable(a.get());
        archive_read_set_seek_callback(a.get(), seekTo);
    } else {
        archive_read_support_filter_all(a.get());
        archive_read_support_format_all(a.get());
    }
    archive_read_set_open_callback(a.get(), noOp);
    archive_read_set_read_callback(a.get(), readBlock);
    archive_read_set_close_callback(a.get(), noOp);
    archive_read_set_callback_data(a.get(), &reader);
    if (archive_read_open1(a.get()) != ARCHIVE_OK) {
        setError(error, "archive_read_open failed.");
        return false;
    }
    std::vector<char> data(kBlock);
    archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK) {
        std::string cleaned = cleanEntryPath(archive_entry_pathname(entry));
        if (cleaned.empty())
            continue;
        ArchiveEntry e;
        e.path = cleaned;
        size_t slash = cleaned.rfind('/');
        e.name = slash == std::string::npos ? cleaned : cleaned.substr(slash + 1);
        e.type = archive_entry_filetype(entry);
        e.size = archive_entry_size(entry);
        entries.push_back(e);
        if (e.type & 0100000) {
            la_ssize_t n;
            while ((n = archive_read_data(a.get(), data.data(), data.size())) > 0) {
            }
            if (n < 0) {
                setError(error, "Data verification failed.");
                return false;
            }
        }
    }
    if (r == ARCHIVE_FAILED || r == ARCHIVE_FATAL) {
        setError(error, "archive_read_next_header failed.");
        return false;
    }
    return true;
}

QString firstUsableCheckpoint(const QString& trainingDir, const QString& fallback)
{
    QStringList list = listCheckpoints(trainingDir + "/lightning_logs/version_0/checkpoints");
    list += listCheckpoints(trainingDir + "/lightning_logs/pre");
    for (const QString& path : list) {
        if (verifyCheckpoint(path) > 0)
            return path;
    }
    return fallback;
}
