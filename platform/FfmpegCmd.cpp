#include "platform/FfmpegCmd.h"

extern "C" {
#include <libavutil/log.h>
}

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::atomic<void (*)(int)> exitHook{nullptr};

thread_local int (*interruptFn)(void*) = nullptr;
thread_local void* interruptOpaque = nullptr;

// How often a run asks whether to stop.
constexpr int interruptPollMs = 50;

bool interrupted()
{
    return interruptFn && interruptFn(interruptOpaque) != 0;
}

int stopped()
{
    av_log(nullptr, AV_LOG_INFO, "Stopped by the caller.\n");
    return ffmpegStoppedCode;
}

struct LevelTag {
    const char* tag;
    int level;
};

const LevelTag levelTags[] = {
    {"[quiet] ", AV_LOG_QUIET},     {"[panic] ", AV_LOG_PANIC},
    {"[fatal] ", AV_LOG_FATAL},     {"[error] ", AV_LOG_ERROR},
    {"[warning] ", AV_LOG_WARNING}, {"[info] ", AV_LOG_INFO},
    {"[verbose] ", AV_LOG_VERBOSE}, {"[debug] ", AV_LOG_DEBUG},
    {"[trace] ", AV_LOG_TRACE},
};

// The child prints "[level] " in front of each message, after the
// "[context @ 0x...] " part when there is one. Removes the tag and returns
// its level; lines without a tag (continuations) are info.
int takeLevel(std::string& line)
{
    size_t at = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& t : levelTags) {
            size_t n = std::strlen(t.tag);
            if (line.compare(at, n, t.tag) == 0) {
                line.erase(at, n);
                return t.level;
            }
        }
        if (pass == 0 && !line.empty() && line[0] == '[') {
            size_t close = line.find("] ");
            if (close == std::string::npos)
                break;
            at = close + 2;
        }
    }
    return AV_LOG_INFO;
}

void forwardLine(std::string line)
{
    int level = takeLevel(line);
    av_log(nullptr, level, "%s", line.c_str());
}

// Splits the child's error output into log lines; a line ends with "\n" or
// "\r" (the progress line) and keeps its end.
void forwardLines(std::string& pending, bool atEnd)
{
    size_t start = 0;
    for (;;) {
        size_t end = pending.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        forwardLine(pending.substr(start, end + 1 - start));
        start = end + 1;
    }
    pending.erase(0, start);
    if (atEnd && !pending.empty()) {
        forwardLine(pending);
        pending.clear();
    }
}

int runChild(int argc, char** argv)
{
    // The child logs at our own av_log level, each message tagged with it.
    std::string level = "level+" + std::to_string(av_log_get_level());
    std::vector<char*> args;
    args.push_back(const_cast<char*>("ffmpeg"));
    args.push_back(const_cast<char*>("-loglevel"));
    args.push_back(level.data());
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);

    if (interrupted())
        return stopped();

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        av_log(nullptr, AV_LOG_FATAL, "Cannot start ffmpeg: %s\n", std::strerror(errno));
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, "ffmpeg", &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        av_log(nullptr, AV_LOG_FATAL, "Cannot start ffmpeg: %s\n", std::strerror(rc));
        return 1;
    }

    // Reads the child's log until it ends, asking between reads whether to stop.
    std::string pending;
    char buf[4096];
    bool stop = false, broken = false;
    struct pollfd pfd = {fds[0], POLLIN, 0};
    for (;;) {
        if (interrupted()) {
            stop = true;
            break;
        }
        int ready = ::poll(&pfd, 1, interruptPollMs);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            continue;
        if (ready < 0) {
            av_log(nullptr, AV_LOG_FATAL, "ffmpeg: %s\n", std::strerror(errno));
            broken = true;
            break;
        }
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) {
            pending.append(buf, size_t(n));
            forwardLines(pending, false);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (stop || broken)
        ::kill(pid, SIGKILL);
    forwardLines(pending, true);
    ::close(fds[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            av_log(nullptr, AV_LOG_FATAL, "ffmpeg: %s\n", std::strerror(errno));
            return 1;
        }
    }
    if (stop)
        return stopped();
    if (broken)
        return 1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        av_log(nullptr, AV_LOG_FATAL, "ffmpeg ended by signal %d\n", WTERMSIG(status));
        return 255;
    }
    return 1;
}

} // namespace

void register_toexit(void (*fn)(int code))
{
    exitHook = fn;
}

void register_interrupt(int (*fn)(void* opaque), void* opaque)
{
    interruptFn = fn;
    interruptOpaque = opaque;
}

int ffmpeg_main(int argc, char** argv)
{
    int code = runChild(argc, argv);
    // Like the program, end through the exit hook, success included.
    if (auto hook = exitHook.load())
        hook(code);
    return code;
}
