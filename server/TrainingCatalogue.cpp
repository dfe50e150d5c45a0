#include "server/TrainingCatalogue.h"

#include "common/FileUtils.h"

#include <archive.h>
#include <archive_entry.h>
#include <json-c/json.h>

#include <cstdint>

namespace fs = std::filesystem;

namespace {

struct BaseCheckpoint
{
    const char* lang;
    int epoch;
    int step;
};

const BaseCheckpoint kBaseCheckpoints[] = {
    {"en-us", 2164, 1355540},
    {"de-de", 1620, 1014120},
    {"fr-fr", 1830, 1145580},
    {"es-es", 1540, 964040},
};

std::string checkpointName(const BaseCheckpoint& c)
{
    return std::string(c.lang) + "-epoch=" + std::to_string(c.epoch) + "-step=" + std::to_string(c.step) + ".ckpt";
}

// Bytes that do not compress, the same for the same seed.
std::string noise(size_t size, uint64_t seed)
{
    std::string out(size, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        out[i] = char(x >> 56);
    }
    return out;
}

bool addMember(archive* a, const char* name, const std::string& data)
{
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, name);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, la_int64_t(data.size()));
    bool ok = archive_write_header(a, entry) == ARCHIVE_OK
              && archive_write_data(a, data.data(), data.size()) == la_ssize_t(data.size());
    archive_entry_free(entry);
    return ok;
}

} // namespace

bool TrainingCatalogue::writeCheckpoint(const fs::path& path, const std::string& lang, int epoch, int step,
                                        size_t weightBytes, std::string& error)
{
    json_object* meta = json_object_new_object();
    json_object_object_add(meta, "language", json_object_new_string(lang.c_str()));
    json_object_object_add(meta, "epoch", json_object_new_int(epoch));
    json_object_object_add(meta, "global_step", json_object_new_int(step));
    std::string metaText = json_object_to_json_string_ext(meta, JSON_C_TO_STRING_PLAIN);
    json_object_put(meta);

    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    fs::path tmp = path;
    tmp += ".tmp";
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    bool ok = archive_write_open_filename(a, tmp.c_str()) == ARCHIVE_OK
              && addMember(a, "checkpoint/meta.json", metaText)
              && addMember(a, "checkpoint/weights.bin", noise(weightBytes, uint64_t(epoch) * 31 + lang.size()));
    if (!ok)
        error = archive_error_string(a) ? archive_error_string(a) : "cannot write " + tmp.u8string();
    if (archive_write_close(a) != ARCHIVE_OK && ok) {
        ok = false;
        error = archive_error_string(a) ? archive_error_string(a) : "cannot write " + tmp.u8string();
    }
    archive_write_free(a);
    if (ok) {
        fs::rename(tmp, path, ec);
        if (ec) {
            ok = false;
            error = "cannot rename " + tmp.u8string() + ": " + ec.message();
        }
    }
    if (!ok)
        fs::remove(tmp, ec);
    return ok;
}

bool TrainingCatalogue::build(const fs::path& outDir, const fs::path& envArchive, std::string& error)
{
    std::error_code ec;
    fs::create_directories(outDir / "download", ec);
    fs::copy_file(envArchive, outDir / "download" / "tenv_gpu_win64.7z", fs::copy_options::overwrite_existing, ec);
    if (ec) {
        error = "cannot copy " + envArchive.u8string() + ": " + ec.message();
        return false;
    }
    json_object* langs = json_object_new_object();
    for (const BaseCheckpoint& c : kBaseCheckpoints) {
        std::string name = checkpointName(c);
        if (!writeCheckpoint(outDir / "ckpt" / name, c.lang, c.epoch, c.step, 1 << 20, error)) {
            json_object_put(langs);
            return false;
        }
        json_object_object_add(langs, c.lang, json_object_new_string(name.c_str()));
    }
    std::string text = json_object_to_json_string_ext(langs, JSON_C_TO_STRING_PLAIN);
    json_object_put(langs);
    if (!writeFreshFile(outDir / "ckpt" / "langs.json", text, false)) {
        error = "cannot write " + (outDir / "ckpt" / "langs.json").u8string();
        return false;
    }
    return true;
}
