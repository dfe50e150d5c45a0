#include "voices/VoicePackageInstaller.h"

#include "common/FileDownloader.h"
#include "common/FileUtils.h"
#include "common/JsonRef.h"
#include "common/TextUtils.h"
#include "voices/VoiceLoadCheck.h"
#include "voices/VoiceStore.h"
#include "voices/VoiceTask.h"

#include <archive.h>
#include <archive_entry.h>
#include <json-c/json.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kBlockSize = 262144;

struct ReadState
{
    ArchiveReader reader;
    std::vector<char> buffer = std::vector<char>(kBlockSize);
    int64_t delivered = 0; // archive bytes handed to libarchive so far
};

int openArchive(struct archive*, void*)
{
    return ARCHIVE_OK;
}

int closeArchive(struct archive*, void*)
{
    return ARCHIVE_OK;
}

la_ssize_t readArchive(struct archive*, void* data, const void** block)
{
    auto* state = static_cast<ReadState*>(data);
    *block = state->buffer.data();
    int n = state->reader(state->buffer.data(), int(state->buffer.size()));
    if (n < 0)
        return -1;
    state->delivered += n;
    return la_ssize_t(n);
}

std::string archiveError(struct archive* a, const char* fallback)
{
    const char* text = archive_error_string(a);
    return (text && *text) ? std::string(text) : std::string(fallback);
}

// A path or name for a message: long ones keep their start and their end.
std::string readablePath(const std::string& path)
{
    constexpr size_t head = 40, tail = 60;
    if (path.size() <= head + tail + 3)
        return path;
    // Cut between characters, never inside one.
    auto isInside = [&](size_t i) { return (static_cast<unsigned char>(path[i]) & 0xC0) == 0x80; };
    size_t end = head, begin = path.size() - tail;
    while (end > 0 && isInside(end))
        --end;
    while (begin < path.size() && isInside(begin))
        ++begin;
    return path.substr(0, end) + "\xE2\x80\xA6" + path.substr(begin);
}

// The entry name as the store writes it: without a leading "./" and without the
// characters that file names cannot hold.
std::string cleanEntryName(std::string name)
{
    if (name.rfind("./", 0) == 0)
        name.erase(0, 2);
    std::string out;
    for (char c : name) {
        if (std::strchr("\\:*?\"<>|\n\r\t", c) == nullptr)
            out.push_back(c);
    }
    return out;
}

// Splits a cleaned name into its components; false when it would leave the
// target folder (an absolute path or a ".." component).
bool safeComponents(const std::string& name, std::vector<std::string>& parts)
{
    if (!name.empty() && name.front() == '/')
        return false;
    std::istringstream in(name);
    std::string part;
    while (std::getline(in, part, '/')) {
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            parts.push_back(part);
    }
    return true;
}

// Sets the task's cancel function for the lifetime of one call.
class CancelScope
{
public:
    CancelScope(VoiceTask* task, std::function<void()> fn) : task(task)
    {
        if (task)
            task->setCancel(std::move(fn));
    }
    ~CancelScope()
    {
        if (task)
            task->setCancel(nullptr);
    }

private:
    VoiceTask* task;
};

std::string unpacksTooMuch(int64_t limit)
{
    return "The voice package unpacks to more than " + formatSize(limit) + ".";
}

// What one installation may unpack: 50 times the package, at least 64 MiB and at
// most 2 GiB, and never so much that less than the reserve of the disk stays free.
ExtractLimits installLimits(const fs::path& workDir, int64_t packageSize)
{
    constexpr int64_t MiB = 1024 * 1024;
    ExtractLimits limits;
    limits.maxBytes = std::min<int64_t>(2048 * MiB, std::max<int64_t>(64 * MiB, packageSize * 50));
    limits.tooLarge = unpacksTooMuch(limits.maxBytes);
    const int64_t avail = freeSpace(workDir);
    if (avail >= 0) {
        int64_t usable = std::max<int64_t>(0, avail - freeSpaceReserve);
        if (usable < limits.maxBytes) {
            limits.maxBytes = usable;
            limits.tooLarge = "Not enough disk space to install the voice (" + formatSize(avail) + " free).";
        }
    }
    return limits;
}

// Whether the start of a file is text (a web page, say) rather than a package,
// whose header length always holds zero bytes.
bool looksLikeText(const std::string& start)
{
    for (char c : start) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r')
            return false;
    }
    return !start.empty();
}

// Whether two voice folders hold the same model and configuration.
bool sameVoice(const fs::path& a, const fs::path& b)
{
    fs::path modelA, configA, modelB, configB;
    std::string textA, textB;
    if (!findModelFiles(a, modelA, configA) || !findModelFiles(b, modelB, configB)
        || !readWholeFile(configA, textA) || !readWholeFile(configB, textB))
        return false;
    JsonRef docA = JsonRef::parse(textA), docB = JsonRef::parse(textB);
    if (!docA.isObject() || !docB.isObject() || !json_object_equal(docA.get(), docB.get()))
        return false;
    std::error_code ec1, ec2;
    if (fs::file_size(modelA, ec1) != fs::file_size(modelB, ec2) || ec1 || ec2)
        return false;
    std::ifstream inA(modelA, std::ios::binary), inB(modelB, std::ios::binary);
    std::vector<char> blockA(kBlockSize), blockB(kBlockSize);
    while (inA && inB) {
        inA.read(blockA.data(), kBlockSize);
        inB.read(blockB.data(), kBlockSize);
        if (inA.gcount() != inB.gcount()
            || std::memcmp(blockA.data(), blockB.data(), size_t(inA.gcount())) != 0)
            return false;
    }
    return !inA.bad() && !inB.bad();
}

// A new, empty folder below root for one installation.
fs::path freshWorkDir(const fs::path& root)
{
    static std::atomic<unsigned> counter{0};
    std::error_code ec;
    fs::create_directories(root, ec);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        fs::path p = root / formatString("install-%ld-%u", long(::getpid()), counter++);
        if (fs::create_directory(p, ec))
            return p;
    }
    return fs::path();
}

} // namespace

std::string extractArchive(ArchiveReader reader, int64_t payloadSize, const fs::path& targetDir, bool& ok,
                           std::string& error, ArchiveBlockFn onBlock, const ExtractLimits& limits,
                           ExtractProblem* problem)
{
    ok = false;
    ExtractProblem unused;
    ExtractProblem& kind = problem ? *problem : unused;
    kind = ExtractProblem::None;
    ReadState state;
    state.reader = std::move(reader);
    struct archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_all(a);
    if (archive_read_open(a, &state, &openArchive, &readArchive, &closeArchive) != ARCHIVE_OK) {
        error = "archive_read_open failed. " + archiveError(a, "");
        if (error.back() == ' ')
            error.pop_back();
        kind = ExtractProblem::Damaged;
        archive_read_free(a);
        return std::string();
    }

    std::string first;
    std::vector<char> block(kBlockSize);
    struct archive_entry* entry = nullptr;
    int rc;
    bool stopped = false;
    // Every path written so far, as cleaned components joined by "/", and
    // whether it is a folder.
    std::map<std::string, bool> written;
    int64_t bytesWritten = 0;
    int entries = 0;
    const std::string tooLarge = !limits.tooLarge.empty() ? limits.tooLarge : unpacksTooMuch(limits.maxBytes);
    auto overLimit = [&](int64_t more) { return limits.maxBytes >= 0 && more > limits.maxBytes - bytesWritten; };
    while (!stopped && (rc = archive_read_next_header(a, &entry)) == ARCHIVE_OK) {
        if (limits.maxEntries >= 0 && ++entries > limits.maxEntries) {
            error = formatString("The voice package holds more than %d entries.", limits.maxEntries);
            stopped = true;
            break;
        }
        const char* raw = archive_entry_pathname(entry);
        std::string name = cleanEntryName(raw ? raw : "");
        std::vector<std::string> parts;
        bool link = archive_entry_filetype(entry) == AE_IFLNK || archive_entry_hardlink(entry) != nullptr;
        if (!safeComponents(name, parts) || link) {
            error = "Unsafe entry in orvelin file: " + readablePath(raw ? raw : "");
            stopped = true;
            break;
        }
        if (parts.empty())
            continue;
        fs::path rel;
        for (const std::string& p : parts)
            rel /= utf8ToPath(p);
        fs::path out = targetDir / rel;
        mode_t type = archive_entry_filetype(entry);
        if (type != AE_IFDIR && type != AE_IFREG)
            continue;
        std::string key;
        for (const std::string& p : parts)
            key += (key.empty() ? "" : "/") + p;
        auto seen = written.find(key);
        // A folder may be named again; anything else would overwrite or clash.
        if (seen != written.end() && !(seen->second && type == AE_IFDIR)) {
            error = "Invalid orvelin file(entries). Two entries are both written as " + readablePath(key) + ".";
            stopped = true;
            break;
        }
        written[key] = type == AE_IFDIR;
        if (type == AE_IFREG && archive_entry_size_is_set(entry) && overLimit(archive_entry_size(entry))) {
            error = tooLarge;
            stopped = true;
            break;
        }
        if (first.empty())
            first = pathToUtf8(targetDir / utf8ToPath(parts.front()));

        std::error_code ec;
        if (type == AE_IFDIR) {
            fs::create_directories(out, ec);
            continue;
        }
        fs::create_directories(out.parent_path(), ec);
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        if (!file) {
            error = "create " + readablePath(pathToUtf8(out)) + " error. " + std::strerror(errno);
            kind = ExtractProblem::Disk;
            stopped = true;
            break;
        }
        for (;;) {
            la_ssize_t n = archive_read_data(a, block.data(), block.size());
            if (n == 0)
                break;
            if (n < 0) {
                error = archiveError(a, "archive_read_data failed.");
                kind = ExtractProblem::Damaged;
                stopped = true;
                break;
            }
            if (overLimit(n)) {
                error = tooLarge;
                stopped = true;
                break;
            }
            bytesWritten += n;
            file.write(block.data(), n);
            if (!file) {
                error = "write " + readablePath(pathToUtf8(out)) + " error. " + std::strerror(errno);
                kind = ExtractProblem::Disk;
                stopped = true;
                break;
            }
            // Archive bytes read so far, the same measure as payloadSize.
            if (onBlock && !onBlock(pathToUtf8(out), state.delivered, payloadSize)) {
                stopped = true;
                break;
            }
        }
        // The last buffered bytes are written out here.
        if (!stopped) {
            file.close();
            if (!file) {
                error = "write " + readablePath(pathToUtf8(out)) + " error. " + std::strerror(errno);
                kind = ExtractProblem::Disk;
                stopped = true;
            }
        }
    }
    if (!stopped) {
        if (rc == ARCHIVE_EOF) {
            ok = true;
        } else {
            error = archiveError(a, "archive_read_next_header failed.");
            kind = ExtractProblem::Damaged;
        }
    }
    archive_read_free(a);
    while (!first.empty() && (first.back() == '/' || first.back() == '\\'))
        first.pop_back();
    return first;
}

bool serverInstallVoice(const fs::path& packagePath, std::string& error, VoiceProgress progress, VoiceTask* task,
                        const std::string& expectedUid, int expectedSpk)
{
    std::atomic<bool> cancelled{false};
    CancelScope scope(task, [&cancelled] { cancelled = true; });
    if (task && task->isCancelled())
        cancelled = true;

    std::ifstream in(packagePath, std::ios::binary);
    if (!in) {
        error = std::string("Open orvelin failed. ") + std::strerror(errno);
        return false;
    }
    unsigned char len[4] = {0, 0, 0, 0};
    errno = 0;
    in.read(reinterpret_cast<char*>(len), 4);
    uint32_t length = uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 | uint32_t(len[3]) << 24;
    const std::string name = readablePath(pathToUtf8(packagePath.filename()));
    if (in.gcount() != 4) {
        error = in.bad() ? std::string("Invalid orvelin file(header-len). ") + std::strerror(errno ? errno : EIO)
                         : std::string("Invalid orvelin file(header-len). The file is shorter than 4 bytes.");
        return false;
    }
    if (length == 0 || length > 65535) {
        std::string start(reinterpret_cast<const char*>(len), 4);
        start.resize(512);
        in.read(&start[4], 508);
        start.resize(4 + size_t(in.gcount()));
        error = looksLikeText(start)
                    ? formatString("Invalid orvelin file(header-len). The download %s is not a voice package: the "
                                   "server sent text, such as a web page, in its place.",
                                   name.c_str())
                    : formatString("Invalid orvelin file(header-len). %s is not a voice package: its header length "
                                   "%u is not from 1 to 65535.",
                                   name.c_str(), unsigned(length));
        return false;
    }
    std::string header(length, '\0');
    in.read(header.data(), length);
    if (in.bad()) {
        error = std::string("Invalid orvelin file(header). ") + std::strerror(errno ? errno : EIO);
        return false;
    }
    if (size_t(in.gcount()) < length) {
        error = formatString("Invalid orvelin file(header). %s is cut short: it ends inside its header, after %ld of "
                             "its %u bytes.",
                             name.c_str(), long(in.gcount()), unsigned(length));
        return false;
    }
    JsonRef head = JsonRef::parse(header);
    if (!head.isObject()) {
        error = "Invalid orvelin file(header). The header is not a JSON object.";
        return false;
    }
    // The uid names a folder: only a string, and one that is a safe name.
    JsonRef uidValue = head.get("uid");
    std::string uid = uidValue.isString() ? uidValue.toString() : std::string();
    if (uid.empty()) {
        error = "Invalid voice uid. The header names no voice.";
        return false;
    }
    if (!isSafeVoiceUid(uid)) {
        error = "Invalid voice uid. It cannot name a voice folder.";
        return false;
    }
    if (!expectedUid.empty() && uid != expectedUid) {
        error = formatString("Invalid voice uid. The package is for \"%s\", not \"%s\".", uid.c_str(),
                             expectedUid.c_str());
        return false;
    }
    int spk = head.get("spk").toInt();
    if (spk < 0) {
        error = formatString("Invalid speaker number %d.", spk);
        return false;
    }
    if (expectedSpk >= 0 && spk != expectedSpk) {
        error = formatString("Invalid speaker number %d. The package is not for speaker %d.", spk, expectedSpk);
        return false;
    }

    // Every package is unpacked and checked whole, also for a voice that is
    // installed already, into a folder of its own that is removed afterwards:
    // a failed or cancelled installation leaves nothing behind.
    fs::path work = freshWorkDir(voicesDir() / ".tmp");
    if (work.empty()) {
        error = std::string("create ") + pathToUtf8(voicesDir() / ".tmp") + " error. " + std::strerror(errno);
        return false;
    }
    auto fail = [&work]() {
        removeAll(work);
        return false;
    };
    std::error_code ec;
    uintmax_t fileSize = fs::file_size(packagePath, ec);
    int64_t packageSize = ec ? 0 : int64_t(fileSize);
    int64_t payloadSize = ec ? 0 : packageSize - int64_t(length) - 4;
    auto reader = [&](char* buffer, int size) -> int {
        if (cancelled)
            return -1;
        in.read(buffer, size);
        std::streamsize n = in.gcount();
        if (n == 0 && in.bad())
            return -1;
        return int(n);
    };
    auto onBlock = [&](const std::string&, int64_t position, int64_t total) {
        if (progress)
            progress(total > 0 ? int(std::min<int64_t>(100, position * 100 / total)) : 0, "Extracting...");
        return !cancelled;
    };
    if (!ec && payloadSize <= 0) {
        error = formatString("Invalid orvelin file(model). %s is cut short: nothing follows its header.",
                             name.c_str());
        return fail();
    }
    bool ok = false;
    ExtractProblem problem = ExtractProblem::None;
    std::string top = extractArchive(reader, payloadSize, work, ok, error, onBlock, installLimits(work, packageSize),
                                     &problem);
    if (!ok || cancelled) {
        if (cancelled)
            error.clear();
        else if (problem == ExtractProblem::Damaged)
            error = "The voice package " + name + " is damaged and cannot be unpacked: " + error;
        else if (problem == ExtractProblem::Disk)
            error = "The voice package " + name + " could not be unpacked into the voice folder: " + error;
        return fail();
    }
    fs::path extracted = utf8ToPath(top);
    fs::path model, config;
    if (top.empty() || !findModelFiles(extracted, model, config)) {
        error = "Invalid orvelin file(model). The package holds no voice model.";
        return fail();
    }
    // A voice the synthesizer cannot load is not installed.
    if (!checkVoiceConfig(config, spk, error))
        return fail();
    // The header is the one speaker a package installs: speaker files the
    // archive carries itself are not taken.
    if (!removeAll(VoiceFolder::speakersDir(extracted), error))
        return fail();

    fs::path dir = voicesDir() / utf8ToPath(uid);
    if (pathExists(dir)) {
        const bool installed = !VoiceFolder::findSpeakerFile(dir, spk).empty();
        // An installed speaker stays as it is: installing it again from another
        // version of the voice would change nothing, which is no success.
        if (installed && !sameVoice(dir, extracted)) {
            error = formatString("Speaker %d of the voice %s is installed already, from another version of the voice. "
                                 "Remove the voice to install this package.",
                                 spk, uid.c_str());
            return fail();
        }
        removeAll(work);
        if (cancelled)
            return false;
        // The speaker goes by the installed voice, not by the package's copy of it.
        if (!installed && !checkNewSpeaker(dir, spk, error, cancelled)) {
            if (cancelled)
                error.clear();
            return false;
        }
        return writeFileAtomic(VoiceFolder::speakerFilePath(dir, spk), header, error);
    }
    // The voice appears with its speaker in one rename.
    if (!writeFileAtomic(VoiceFolder::speakerFilePath(extracted, spk), header, error))
        return fail();
    if (!checkVoiceLoads(extracted, spk, error, cancelled))
        return fail();
    if (cancelled)
        return fail();
    if (!renameFile(extracted, dir)) {
        error = std::string("serverInstallVoice rename extracted failed. ") + std::strerror(errno);
        return fail();
    }
    removeAll(work);
    return true;
}
