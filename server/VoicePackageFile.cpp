#include "server/VoicePackageFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace fs = std::filesystem;

namespace {

la_ssize_t appendToString(struct archive*, void* out, const void* data, size_t length)
{
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), length);
    return la_ssize_t(length);
}

} // namespace

bool VoicePackageFile::readHeader(const fs::path& path, std::string& header, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path.u8string() + ": " + std::strerror(errno);
        return false;
    }
    unsigned char len[4] = {0, 0, 0, 0};
    in.read(reinterpret_cast<char*>(len), 4);
    uint32_t length = uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 | uint32_t(len[3]) << 24;
    if (in.gcount() != 4 || length == 0 || length > 65535) {
        error = "bad header length in " + path.u8string();
        return false;
    }
    header.assign(length, '\0');
    in.read(header.data(), length);
    if (uint32_t(in.gcount()) != length) {
        error = "short header in " + path.u8string();
        return false;
    }
    return true;
}

std::string VoicePackageFile::compose(const std::string& header, const std::string& archive)
{
    std::string out;
    uint32_t length = uint32_t(header.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(char((length >> (8 * i)) & 0xff));
    out += header;
    out += archive;
    return out;
}

bool VoicePackageFile::write(const fs::path& path, const std::string& header, const std::vector<Entry>& entries,
                             std::string& error)
{
    if (header.empty() || header.size() > 65535) {
        error = "header length out of range";
        return false;
    }
    std::string archiveBytes;
    struct archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    archive_write_add_filter_gzip(a);
    bool ok = archive_write_open(a, &archiveBytes, nullptr, &appendToString, nullptr) == ARCHIVE_OK;
    for (const Entry& e : entries) {
        if (!ok)
            break;
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.name.c_str());
        archive_entry_set_filetype(entry, e.folder ? AE_IFDIR : AE_IFREG);
        archive_entry_set_perm(entry, e.folder ? 0755 : 0644);
        archive_entry_set_size(entry, e.folder ? 0 : la_int64_t(e.data.size()));
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && !e.folder && !e.data.empty())
            ok = archive_write_data(a, e.data.data(), e.data.size()) == la_ssize_t(e.data.size());
        archive_entry_free(entry);
    }
    if (!ok)
        error = archive_error_string(a) ? archive_error_string(a) : "archive write failed";
    if (archive_write_close(a) != ARCHIVE_OK && ok) {
        ok = false;
        error = archive_error_string(a) ? archive_error_string(a) : "archive close failed";
    }
    archive_write_free(a);
    if (!ok)
        return false;

    fs::path tmp = path;
    tmp += ".tmp";
    std::error_code dirError;
    fs::create_directories(path.parent_path(), dirError);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        std::string bytes = compose(header, archiveBytes);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + tmp.u8string() + ": " + std::strerror(errno);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        error = "cannot rename " + tmp.u8string() + ": " + ec.message();
        return false;
    }
    return true;
}
