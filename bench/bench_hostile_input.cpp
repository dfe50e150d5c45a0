// What hostile answers and sound files cost: the longest time the GUI thread
// is blocked, the peak memory and the bytes written. One case a run, so that
// the peak memory is the case's own:
//   bench_hostile_input <case> [seconds]
// Cases: update-endless, wav-chunks, wav-fifo, wav-devzero, wav-urandom,
// wav-24bit, wav-1hz, mp3-frames, mp3-long, download-endless,
// download-trickle, download-fifo.
// seconds (default 90) ends a case that has not finished, as a hang.

#include "app/MainModel.h"
#include "common/AudioPlayer.h"
#include "common/FileDownloader.h"
#include "common/Platform.h"
#include "common/ServerAddress.h"

#include "LoopbackServers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

double peakMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss / 1024.0;
}

// A loopback server that answers every request with what `body` writes until
// the client leaves or `stop` is set; counts the bytes it sends.
class StreamServer
{
public:
    explicit StreamServer(std::function<void(StreamServer& self, int socket)> body)
        : server([this, body = std::move(body)](int s, const std::string&) {
              body(*this, s);
              clientLeft = true;
          })
    {
    }
    std::string base() const { return server.base(); }

    // Sends bytes; false once the client is gone.
    bool send(int s, const std::string& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(s, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += size_t(n);
            sent += n;
        }
        return true;
    }

    // An answer of no announced length that never ends.
    void endless(int s)
    {
        const std::string block(65536, 'x');
        if (!send(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"))
            return;
        while (!stop && send(s, block)) {
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> clientLeft{false};
    std::atomic<long long> sent{0};

private:
    testutil::RawServer server;
};

// Ends the process when a case hangs, with what was measured so far.
void watchdog(int seconds, std::function<std::string()> state)
{
    std::thread([seconds, state] {
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::printf("not finished after %d s (blocked or still running); %s; peak memory %.0f MiB\n", seconds,
                    state().c_str(), peakMiB());
        std::fflush(stdout);
        std::_Exit(2);
    }).detach();
}

// Plays a file and reports how long the GUI thread was blocked at most.
int playCase(const fs::path& file, int seconds)
{
    QElapsedTimer since;
    since.start();
    qint64 lastTick = 0, longest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 now = since.elapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    ticker.start();
    watchdog(seconds, [] { return std::string("the GUI thread never came back"); });
    AudioPlayer player;
    QString message;
    bool done = false, ok = false;
    player.play(
        QString::fromStdString(file.string()),
        [&](bool success, const QString& text) {
            done = true;
            ok = success;
            message = text;
        },
        nullptr);
    // A sound that plays is stopped after three seconds of it.
    while (!done && since.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // A result posted by a play job that blocked past the three seconds.
    for (int i = 0; i < 40 && !done; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const bool playing = !done;
    const double took = since.elapsed() / 1000.0;
    if (playing) {
        player.stop();
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    std::printf("result %s \"%s\" after %.2f s; GUI thread blocked at most %.3f s; peak memory %.0f MiB\n",
                playing ? "playing" : (ok ? "ok" : "failed"), message.toUtf8().constData(), took, longest / 1000.0,
                peakMiB());
    return 0;
}

void writeWav(const fs::path& path, int tag, int channels, int rate, int bits, unsigned long long dataBytes)
{
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(uint32_t(std::min<unsigned long long>(36 + dataBytes, 0xFFFFFFFFull)));
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(uint16_t(tag));
    u16(uint16_t(channels));
    u32(uint32_t(rate));
    u32(uint32_t(rate * channels * bits / 8));
    u16(uint16_t(channels * bits / 8));
    u16(uint16_t(bits));
    out.write("data", 4);
    u32(uint32_t(std::min<unsigned long long>(dataBytes, 0xFFFFFFFFull)));
    out.close();
    fs::resize_file(path, 44 + dataBytes);
}

int downloadCase(const std::string& name, const fs::path& dir, int seconds)
{
    const fs::path target = dir / "file.bin";
    fs::path partial = target;
    partial += ".downloading";
    std::function<void(StreamServer&, int)> body;
    if (name == "download-endless") {
        body = [](StreamServer& self, int s) { self.endless(s); };
    } else {
        body = [](StreamServer& self, int s) {
            if (!self.send(s, "HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\nConnection: close\r\n\r\n"))
                return;
            while (!self.stop && self.send(s, "x"))
                std::this_thread::sleep_for(std::chrono::milliseconds(900));
        };
    }
    StreamServer server(body);
    if (name == "download-fifo")
        ::mkfifo(target.c_str(), 0600);
    FileDownloader downloader;
    std::atomic<bool> finished{false};
    // The downloader's own cancel, as a page would give it, once 4 GB are on disk.
    std::thread guard([&] {
        while (!finished) {
            std::error_code ec;
            auto size = fs::file_size(partial, ec);
            if (!ec && size > 4000000000ull)
                downloader.aborted = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    watchdog(seconds, [&] {
        std::error_code ec;
        return "bytes received by the server's count " + std::to_string(server.sent.load()) + ", on disk "
               + std::to_string(fs::file_size(partial, ec));
    });
    QElapsedTimer since;
    since.start();
    std::string error;
    long long onDisk = 0;
    downloader.progress = [&](int, std::string) {
        std::error_code ec;
        onDisk = std::max<long long>(onDisk, (long long)fs::file_size(partial, ec));
    };
    bool ok = downloader.download(server.base() + "file", target, std::string(), error);
    finished = true;
    guard.join();
    server.stop = true;
    std::printf("download %s \"%s\" after %.1f s; %lld bytes sent, at most %lld bytes on disk; peak memory %.0f MiB\n",
                ok ? "succeeded" : "failed", error.c_str(), since.elapsed() / 1000.0, server.sent.load(), onDisk,
                peakMiB());
    return 0;
}

int updateCase(int seconds)
{
    StreamServer server([](StreamServer& self, int s) { self.endless(s); });
    platform::setEnv(voiceServerEnvVar, server.base());
    watchdog(seconds, [&] { return "bytes sent " + std::to_string(server.sent.load()); });
    QElapsedTimer since;
    since.start();
    MainModel model;
    model.checkUpdate();
    while (!server.clientLeft && since.elapsed() < seconds * 1000LL)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::printf("update check %s after %.1f s; %lld bytes sent; peak memory %.0f MiB\n",
                server.clientLeft ? "ended" : "still reading", since.elapsed() / 1000.0, server.sent.load(),
                peakMiB());
    std::fflush(stdout);
    server.stop = true;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <case> [seconds]\n", argv[0]);
        return 1;
    }
    QCoreApplication app(argc, argv);
    const std::string name = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 90;
    const fs::path dir = fs::temp_directory_path() / ("bench_hostile_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct Cleanup
    {
        fs::path dir;
        ~Cleanup()
        {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    } cleanup{dir};

    if (name == "update-endless")
        return updateCase(seconds);
    if (name.rfind("download-", 0) == 0)
        return downloadCase(name, dir, seconds);

    const fs::path wav = dir / "sound.wav";
    if (name == "wav-chunks") {
        // RIFF of the largest size, then zero bytes: chunks of size 0.
        std::ofstream out(wav, std::ios::binary);
        out.write("RIFF\xff\xff\xff\xffWAVE", 12);
        out.close();
        fs::resize_file(wav, 12 + 64ull * 1024 * 1024);
    } else if (name == "wav-fifo") {
        ::mkfifo(wav.c_str(), 0600);
    } else if (name == "wav-devzero") {
        fs::create_symlink("/dev/zero", wav);
    } else if (name == "wav-urandom") {
        fs::create_symlink("/dev/urandom", wav);
    } else if (name == "wav-24bit") {
        writeWav(wav, 1, 2, 48000, 24, 1024ull * 1024 * 1024);
    } else if (name == "wav-1hz") {
        writeWav(wav, 1, 1, 1, 16, 44000);
    } else if (name == "mp3-frames") {
        // A tag, then 1 MiB of frames of 72 ms in 72 bytes each.
        std::ofstream out(wav, std::ios::binary);
        out.write("ID3\x03\0\0\0\0\0\0", 10);
        std::string frame(72, '\0');
        frame[0] = char(0xFF);
        frame[1] = char(0xE3);
        frame[2] = char(0x18);
        frame[3] = char(0xC0);
        for (int i = 0; i < (1 << 20) / 72; ++i)
            out << frame;
    } else if (name == "mp3-long") {
        // A minute at 128 kbit/s: about the longest sound decoded whole.
        const std::string command = "ffmpeg -loglevel error -f lavfi -i sine=f=440:d=60 -ac 2 -b:a 128k -y "
                                    + (dir / "sound.mp3").string();
        if (std::system(command.c_str()) != 0)
            return 1;
        return playCase(dir / "sound.mp3", seconds);
    } else {
        std::fprintf(stderr, "unknown case %s\n", name.c_str());
        return 1;
    }
    return playCase(wav, seconds);
}
