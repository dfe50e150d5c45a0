// A stand-in conversion child for pool tests: reads the request like the real
// worker and acts on its first sentence ("sleep:<ms>", "gate:<path>" to wait
// until that file exists, "fail", "failquiet", "crash"), logging its start and
// end to "events.log" beside the output.
#include "common/JsonRef.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool readExactly(char* buf, size_t len)
{
    size_t got = 0;
    while (got < len) {
        ssize_t n = ::read(0, buf + got, len - got);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

void logEvent(const std::string& wav, char what, const std::string& id)
{
    std::string dir = wav.substr(0, wav.rfind('/'));
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now().time_since_epoch())
                  .count();
    std::string line = std::string(1, what) + " " + id + " " + std::to_string(ms) + "\n";
    int fd = ::open((dir + "/events.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        (void)!::write(fd, line.data(), line.size());
        ::close(fd);
    }
}

} // namespace

int main()
{
    int32_t n = 0;
    if (!readExactly(reinterpret_cast<char*>(&n), 4) || n < 0 || n > (1 << 20))
        return 9;
    std::vector<char> buf(static_cast<size_t>(n));
    if (!readExactly(buf.data(), buf.size()))
        return 9;
    JsonRef doc = JsonRef::parse(buf.data(), buf.size());
    std::string wav = doc.get("wav").toString();
    std::string id = doc.get("voice_uid").toString();
    std::string cmd = doc.get("sentences").at(0).toString();
    logEvent(wav, 'S', id);
    if (cmd == "crash")
        std::abort();
    if (cmd == "fail") {
        std::fputs("Invalid input(2).", stderr);
        return 1;
    }
    if (cmd == "failquiet")
        return 3;
    if (cmd.rfind("sleep:", 0) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(cmd.c_str() + 6)));
    if (cmd.rfind("gate:", 0) == 0) {
        // Ten minutes at most, so a test that fails leaves no child behind for long.
        for (int i = 0; i < 60000 && ::access(cmd.c_str() + 5, F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // One second of silence at 22050 Hz.
    std::vector<char> file(44 + 44100, 0);
    std::memcpy(file.data(), "RIFF", 4);
    FILE* f = std::fopen(wav.c_str(), "wb");
    if (f) {
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
    }
    logEvent(wav, 'E', id);
    return 0;
}
