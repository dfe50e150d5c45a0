#pragma once

// Helpers of the voice tests: archives written with libarchive (also ones no
// honest package holds), voice packages, our server in the test process, and
// a snapshot of a folder tree.

#include "common/ServerAddress.h"
#include "server/VoiceCatalogue.h"
#include "server/VoicePackageFile.h"
#include "server/VoiceServer.h"

#include "InProcessServer.h"

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace voicetest {

namespace fs = std::filesystem;

struct ArchiveItem
{
    enum Type { File, Folder, Symlink, Hardlink };
    std::string name;
    std::string data;
    Type type = File;
    std::string link = {}; // target of a link
    int64_t zeros = 0;     // a file of this many zero bytes instead of data, written in blocks
};

inline la_ssize_t appendBytes(struct archive*, void* out, const void* data, size_t length)
{
    static_cast<std::string*>(out)->append(static_cast<const char*>(data), length);
    return la_ssize_t(length);
}

// Archive bytes: "tar.gz" (pax, gzip) or "zip".
inline std::string makeArchive(const std::vector<ArchiveItem>& items, const std::string& kind = "tar.gz")
{
    std::string bytes;
    struct archive* a = archive_write_new();
    if (kind == "zip") {
        archive_write_set_format_zip(a);
    } else {
        archive_write_set_format_pax_restricted(a);
        archive_write_add_filter_gzip(a);
    }
    archive_write_open(a, &bytes, nullptr, &appendBytes, nullptr);
    for (const ArchiveItem& item : items) {
        struct archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, item.name.c_str());
        archive_entry_set_perm(e, 0644);
        switch (item.type) {
        case ArchiveItem::File:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_size(e, la_int64_t(item.zeros > 0 ? item.zeros : int64_t(item.data.size())));
            break;
        case ArchiveItem::Folder:
            archive_entry_set_filetype(e, AE_IFDIR);
            archive_entry_set_perm(e, 0755);
            break;
        case ArchiveItem::Symlink:
            archive_entry_set_filetype(e, AE_IFLNK);
            archive_entry_set_symlink(e, item.link.c_str());
            break;
        case ArchiveItem::Hardlink:
            archive_entry_set_filetype(e, AE_IFREG);
            archive_entry_set_hardlink(e, item.link.c_str());
            break;
        }
        archive_write_header(a, e);
        if (item.type == ArchiveItem::File && !item.data.empty())
            archive_write_data(a, item.data.data(), item.data.size());
        const std::string block(item.zeros > 0 ? 1 << 20 : 0, '\0');
        for (int64_t left = item.zeros; left > 0; left -= int64_t(block.size()))
            archive_write_data(a, block.data(), size_t(std::min<int64_t>(left, int64_t(block.size()))));
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
    return bytes;
}

// A speaker header as the server's packages carry it.
inline std::string speakerHeader(const std::string& uid, int spk, const std::string& name = "Speaker",
                                 const std::string& lang = "en-us")
{
    return R"({"uid":")" + uid + R"(","spk":)" + std::to_string(spk) + R"(,"lang":")" + lang
           + R"(","eng":"English","native":"English","name":")" + name + R"(","user_name":"","sex":1,"quality":2})";
}

// The files of a voice the stand-in synthesizer speaks with.
inline std::vector<ArchiveItem> voiceFiles(const std::string& top, const std::string& espeakVoice = "en-us",
                                           int speakers = 2)
{
    std::string config = R"({"audio":{"sample_rate":22050},"espeak":{"voice":")" + espeakVoice
                         + R"("},"num_speakers":)" + std::to_string(speakers) + "}";
    return {{top, "", ArchiveItem::Folder},
            {top + "/voice.onnx", "stand-in model"},
            {top + "/voice.onnx.json", config}};
}

inline void writeBytes(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readBytes(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every entry below root with its kind and content ("d" for folders).
inline std::set<std::string> snapshot(const fs::path& root)
{
    std::set<std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string rel = fs::relative(it->path(), root).u8string();
        if (it->is_symlink())
            out.insert(rel + " -> link");
        else if (it->is_directory())
            out.insert(rel + "/");
        else
            out.insert(rel + " = " + readBytes(it->path()));
    }
    return out;
}

using testutil::InProcessServer;

} // namespace voicetest
