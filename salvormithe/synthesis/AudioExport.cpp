#include "synthesis/AudioExport.h"

#include "common/FileUtils.h"
#include "common/TextUtils.h"
#include "synthesis/DocxExport.h"
#include "synthesis/FfmpegRun.h"
#include "synthesis/SpeechWav.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string lastBytes(const std::string& text, size_t n)
{
    return text.size() > n ? text.substr(text.size() - n) : text;
}

// What stands at a path: enough to tell whether a run has written it.
struct FileStamp
{
    bool regular = false;
    off_t size = 0;
    struct timespec mtime {};

    static FileStamp of(const fs::path& p)
    {
        FileStamp s;
        struct stat st;
        if (::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            s.regular = true;
            s.size = st.st_size;
            s.mtime = st.st_mtim;
        }
        return s;
    }
    bool nonEmpty() const { return regular && size > 0; }
    bool operator!=(const FileStamp& o) const
    {
        return regular != o.regular || size != o.size || mtime.tv_sec != o.mtime.tv_sec ||
               mtime.tv_nsec != o.mtime.tv_nsec;
    }
};

class Fd
{
public:
    explicit Fd(int fd) : fd(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd; }
    int close()
    {
        int rc = fd >= 0 ? ::close(fd) : 0;
        fd = -1;
        return rc;
    }

private:
    int fd;
};

// Copies source over target a block at a time, looking at stop before each
// block. False with the system's text in failure, or with an empty failure
// once stopped.
bool copyFile(const fs::path& source, const fs::path& target, const std::atomic<bool>& stop,
              std::string& failure)
{
    auto fail = [&]() {
        failure = std::strerror(errno);
        return false;
    };
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return fail();
    Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (out.get() < 0)
        return fail();
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail();
        if (n == 0)
            break;
        if (stop)
            return false;
        if (!writeFully(out.get(), buffer.data(), size_t(n)))
            return fail();
    }
    if (out.close() != 0)
        return fail();
    return true;
}

} // namespace

bool convertAudioFile(const std::string& audioExt, ExportStatus& status, const fs::path& source,
                      const fs::path& target)
{
    const FileStamp before = FileStamp::of(target);
    std::string failure;
    bool stopped = false;
    if (audioExt == ".wav") {
        stopped = !copyFile(source, target, status.stop, failure) && failure.empty();
    } else {
        const std::string src = pathToUtf8(source), dst = pathToUtf8(target);
        std::string log;
        int code = runFfmpeg({"-vn", "-i", src.c_str(), "-ac", "2", "-ar", "22050", "-y", dst.c_str()},
                             &log, &status.stop);
        // An exit code of 0 is not enough: a full disk can cut the file short
        // or leave it empty with only an error line in the log.
        if (code == ffmpegStoppedCode && status.stop)
            stopped = true;
        else if (code != 0)
            failure = lastBytes(log, 100);
        else if (!ffmpegRunError().empty())
            failure = lastBytes(ffmpegRunError(), 100);
        else if (!FileStamp::of(target).nonEmpty())
            failure = std::string(std::strerror(EIO)) + "(" + dst + ")";
    }
    if (!stopped && failure.empty())
        return true;
    // What this run wrote is incomplete; a file it never reached stays.
    if (FileStamp::of(target) != before)
        removeFile(target);
    if (stopped) {
        status.cancelled = true;
        return false;
    }
    status.ok = false;
    status.error = failure;
    return false;
}

void exportAudioAndText(const ExportSources& sources, const std::vector<ProjectSeg>& segs,
                        const VoiceLookup& voiceOf, const std::string& targetDir,
                        const std::string& audioExt, bool merge, bool withText,
                        const std::string& textExt, bool withSpeaker, ExportStatus& status)
{
    // stop is the owner's: one raised before the job began ends it at once.
    status.ok = true;
    status.error.clear();
    status.cancelled = false;
    if (segs.empty())
        return;

    auto stopped = [&status]() {
        if (status.stop)
            status.cancelled = true;
        return status.cancelled;
    };
    // Audio without a sample is not written, whatever the format: a segment
    // with nothing to say has none, and neither has the join of such segments.
    auto silent = [](const fs::path& source) { return SpeechWav::secondsOfFile(source) == 0; };

    const fs::path dir = utf8ToPath(targetDir);
    if (!merge || segs.size() == 1) {
        for (const ProjectSeg& seg : segs) {
            if (stopped())
                return;
            if (isBlankText(seg.text))
                continue;
            const fs::path source = sources.segWav(seg.id);
            if (silent(source))
                continue;
            const fs::path target = dir / formatString("audio%d%s", seg.id, audioExt.c_str());
            if (!convertAudioFile(audioExt, status, source, target))
                return;
        }
    } else {
        if (stopped())
            return;
        if (!silent(sources.merged) &&
            !convertAudioFile(audioExt, status, sources.merged, dir / ("audio" + audioExt)))
            return;
    }

    if (!withText || stopped())
        return;
    const std::string target = pathToUtf8(dir / ("text" + textExt));
    const std::atomic<bool>* stop = &status.stop;
    bool ok;
    if (textExt == ".html")
        ok = exportHtml(segs, voiceOf, target, withSpeaker, status.error, stop);
    else if (textExt == ".pdf")
        ok = exportPdf(segs, voiceOf, target, withSpeaker, &status.error, stop);
    else if (textExt == ".docx")
        ok = exportDocx(segs, voiceOf, target, withSpeaker, status.error, stop);
    else
        ok = exportText(segs, voiceOf, target, withSpeaker, status.error, stop);
    // A writer that was stopped leaves no file; the job counts as stopped.
    if (!ok && stopped())
        status.error.clear();
    else
        status.ok = ok;
}
