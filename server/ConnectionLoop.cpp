#include "server/ConnectionLoop.h"

#include "server/RequestStream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

// What a refused client may still send before its connection is closed.
constexpr uint64_t kDrainBytes = 1024 * 1024;
constexpr std::chrono::milliseconds kDrainTime{2000};
// File descriptors kept for everything but the connections held and their
// files: a quarter of them, within these bounds; half of them are for
// connections that wait for their request beside those held. And the fewest
// connections held.
constexpr rlim_t kLeastSpareFiles = 8;
constexpr rlim_t kMostSpareFiles = 64;
constexpr int kLeastConnections = 8;
// Connections accepted in one round of the loop, before the others are served again.
constexpr int kAcceptBatch = 256;
// Bytes of an answer the kernel holds unsent for a client: a slow reader
// parks no more, and the socket always has whole segments to send (with
// less, a slow reader's kernel was seen to drop data and back off for seconds).
constexpr int kUnsentBytes = 256 * 1024;
// A client's reading pace counts, besides what it has acknowledged, a first
// second at kPriorPace: the pace a new connection is thought to read at. What
// it took in the answer's first second, which fills its receive buffer, counts
// for at most kFirstSecondBytes.
constexpr double kPriorPace = 8 * 1024;
constexpr double kPriorSeconds = 1;
constexpr std::chrono::milliseconds kFirstSecond{1000};
constexpr uint64_t kFirstSecondBytes = 64 * 1024;
// How long the loop stops accepting when there is no room, and how often it
// looks for a place for a connection waiting with its request.
constexpr std::chrono::milliseconds kFullPause{100};
constexpr std::chrono::milliseconds kPlaceRetry{10};
// A connection has this long to start its request before it may make way
// for a new one.
constexpr std::chrono::milliseconds kRequestGrace{250};

// The client's address as bytes; one key for all of its connections.
std::string peerKey(const sockaddr_storage& addr)
{
    if (addr.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(addr).sin_addr;
        return std::string(reinterpret_cast<const char*>(&a), sizeof a);
    }
    if (addr.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr;
        return std::string(reinterpret_cast<const char*>(&a), sizeof a);
    }
    return std::string();
}

// Bytes in the socket's send queue that the client has not acknowledged.
int unacked(int fd)
{
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

// Bytes of an answer its client has acknowledged, of those sent since the
// loop took it and those queued then.
uint64_t acknowledged(int fd, uint64_t taken, int queuedAtStart)
{
    uint64_t sent = taken + uint64_t(queuedAtStart);
    return sent - std::min<uint64_t>(uint64_t(unacked(fd)), sent);
}

// Makes closing the socket reset the connection: nothing it still holds is sent.
void resetOnClose(int fd)
{
    linger now{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

// One connection fewer from peer.
void uncount(std::unordered_map<std::string, int>& counts, const std::string& peer)
{
    auto found = counts.find(peer);
    if (found != counts.end() && --found->second <= 0)
        counts.erase(found);
}

const char* reason(int status)
{
    switch (status) {
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 503: return "Service Unavailable";
    case 431: return "Request Header Fields Too Large";
    default: return "Bad Request";
    }
}

} // namespace

struct ConnectionLoop::Connection
{
    // Waits for a request's first byte within the idle time.
    Connection(int fd, std::string peer, const ConnectionLimits& limits, int served)
        : fd(fd), peer(std::move(peer)), head(limits.request), opened(Clock::now()),
          deadline(opened + limits.idleTimeout), served(served)
    {
    }

    int fd;
    std::string peer;
    std::string buffer;
    RequestHead head;
    Clock::time_point opened;
    Clock::time_point deadline;
    int served;
    bool started = false;  // a byte of the request has come
    // Accepted with every place taken: it waits beside those held for its
    // request, and once that has come (ready), for a place.
    bool waiting = false;
    bool ready = false;
    bool draining = false; // refused; what still comes is read and dropped
    uint64_t drained = 0;
    // While an answer is sent: its rest, what follows it, and the send queue
    // at the last look, to tell a client that reads from one that does not;
    // since when the loop sends it, the send queue then, and the bytes the
    // socket took since.
    PendingAnswer answer;
    bool writing = false;
    bool closeAfter = false;
    std::string after;
    int queued = 0;
    Clock::time_point sendingSince;
    int queuedAtStart = 0;
    uint64_t taken = 0;
    // What the client had acknowledged at the end of the answer's first second.
    bool settled = false;
    uint64_t firstSecond = 0;
};

ConnectionLoop::ConnectionLoop(ConnectionLimits limits, Handler handler)
    : limits(std::move(limits)), handler(std::move(handler)), wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

ConnectionLoop::~ConnectionLoop()
{
    if (listenFd >= 0)
        ::close(listenFd);
    if (wakeFd >= 0)
        ::close(wakeFd);
}

int ConnectionLoop::bind(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        errno = EADDRNOTAVAIL;
        return -1;
    }
    int fd = -1;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) {
        fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0)
            continue;
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            int err = errno;
            ::close(fd);
            fd = -1;
            errno = err;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    if (listenFd >= 0)
        ::close(listenFd);
    listenFd = fd;
    if (addr.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

void ConnectionLoop::stop()
{
    stopping = true;
    wake();
}

void ConnectionLoop::wake()
{
    uint64_t one = 1;
    if (wakeFd >= 0 && ::write(wakeFd, &one, sizeof one) < 0) {
        // The counter is already far from zero: the loop wakes anyway.
    }
}

bool ConnectionLoop::run()
{
    if (stopping)
        return true;
    if (listenFd < 0 || wakeFd < 0)
        return false;
    sizeUp();
    Connections conns;
    std::vector<pollfd> fds;
    Clock::time_point acceptPausedUntil;
    Clock::time_point placeRetryAt;
    bool ok = true;
    while (!stopping) {
        takeReturned(conns);
        Clock::time_point now = Clock::now();
        Clock::time_point next = now + std::chrono::seconds(1);
        if (now >= placeRetryAt && !placeReady(conns))
            placeRetryAt = now + kPlaceRetry;
        if (placeRetryAt > now)
            next = std::min(next, placeRetryAt);
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        bool canAccept = now >= acceptPausedUntil || held(conns) < maxHeld;
        if (!canAccept)
            next = std::min(next, acceptPausedUntil);
        fds.push_back({canAccept ? listenFd : -1, POLLIN, 0});
        for (const auto& c : conns) {
            // One that waits for a place with its request is read once it has one.
            fds.push_back({c->fd, short(c->writing ? POLLOUT : c->ready ? 0 : POLLIN), 0});
            next = std::min(next, c->deadline);
            if (c->writing && !c->settled) {
                if (now - c->sendingSince >= kFirstSecond) {
                    c->settled = true;
                    c->firstSecond = acknowledged(c->fd, c->taken, c->queuedAtStart);
                } else {
                    next = std::min(next, c->sendingSince + kFirstSecond);
                }
            }
        }
        int wait = int(std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1));
        if (::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) {
            ok = false;
            break;
        }
        if (fds[0].revents) {
            uint64_t count;
            while (::read(wakeFd, &count, sizeof count) > 0) {
            }
        }
        // Connections accepted below have no entry in fds.
        size_t polled = fds.size() - 2;
        for (size_t i = 0; i < polled; ++i) {
            if (!fds[i + 2].revents || conns[i]->fd < 0)
                continue;
            if (conns[i]->writing)
                writeTo(*conns[i]);
            else
                readFrom(conns, *conns[i]);
        }
        // No room, or out of file descriptors, with nothing to let go: try again a little later.
        if ((fds[1].revents & POLLIN) && !acceptNew(conns))
            acceptPausedUntil = Clock::now() + kFullPause;
        now = Clock::now();
        for (size_t i = 0; i < conns.size(); ++i) {
            if (conns[i]->fd >= 0 && now >= conns[i]->deadline)
                expire(*conns[i]);
        }
        conns.erase(std::remove_if(conns.begin(), conns.end(), [](const auto& c) { return c->fd < 0; }),
                    conns.end());
    }

    for (auto& c : conns)
        closeConnection(*c);
    ::close(listenFd);
    listenFd = -1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing = true;
        // Answers still being written end at their next write.
        for (int fd : inFlight)
            ::shutdown(fd, SHUT_RDWR);
    }
    jobReady.notify_all();
    for (std::thread& t : workers)
        t.join();
    workers.clear();
    for (const Job& job : jobs)
        ::close(job.fd);
    for (const Job& job : returned)
        ::close(job.fd);
    jobs.clear();
    returned.clear();
    outstanding = 0;
    addressCounts.clear();
    return ok;
}

void ConnectionLoop::sizeUp()
{
    int most = std::max(1, limits.maxConnections);
    maxHeld = most;
    maxWaiting = int(kMostSpareFiles / 2);
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return;
    // A connection holds its socket and, while it sends one, a file.
    rlim_t spare = std::clamp(files.rlim_cur / 4, kLeastSpareFiles, kMostSpareFiles);
    rlim_t room = files.rlim_cur > spare ? (files.rlim_cur - spare) / 2 : 0;
    maxHeld = int(std::clamp<rlim_t>(room, rlim_t(std::min(kLeastConnections, most)), rlim_t(most)));
    maxWaiting = int(spare / 2);
}

long ConnectionLoop::held(const Connections& conns)
{
    long open = std::count_if(conns.begin(), conns.end(), [](const auto& c) { return c->fd >= 0 && !c->waiting; });
    std::lock_guard<std::mutex> lock(mutex);
    return open + outstanding;
}

void ConnectionLoop::evict(Connection& c)
{
    // What the kernel still holds of a cut-off answer is dropped with it; a
    // connection never answered on ends at once.
    if (c.writing || c.served == 0)
        resetOnClose(c.fd);
    closeConnection(c);
}

ConnectionLoop::Connection* ConnectionLoop::victim(const Connections& conns, int count)
{
    const Clock::time_point now = Clock::now();
    if (Connection* idle = idleHeld(conns, now))
        return idle;

    struct Candidate
    {
        Connection* c;
        int held;
        double pace;
    };
    std::vector<Candidate> candidates;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto& c : conns) {
            if (c->fd >= 0 && c->writing) {
                auto found = addressCounts.find(c->peer);
                candidates.push_back({c.get(), found == addressCounts.end() ? 1 : found->second, 0});
            }
        }
    }
    // Those the new one may take the place of.
    int most = 0;
    auto kept = std::remove_if(candidates.begin(), candidates.end(), [&](Candidate& k) {
        k.pace = pace(*k.c, now);
        bool hog = k.held >= 2 && k.held * 4 >= maxHeld;
        return k.held < 2 * count && !hog && k.pace >= kPriorPace;
    });
    candidates.erase(kept, candidates.end());
    for (const Candidate& k : candidates)
        most = std::max(most, k.held);
    // The busiest addresses: those holding at least half as many as the busiest.
    Candidate* slowest = nullptr;
    for (Candidate& k : candidates) {
        if (2 * k.held < most)
            continue;
        // Of two that read alike, the newer goes.
        if (!slowest || k.pace < slowest->pace
            || (k.pace == slowest->pace && k.c->sendingSince > slowest->c->sendingSince))
            slowest = &k;
    }
    return slowest ? slowest->c : nullptr;
}

double ConnectionLoop::pace(const Connection& c, Clock::time_point now) const
{
    uint64_t acked = acknowledged(c.fd, c.taken, c.queuedAtStart);
    uint64_t first = c.settled ? c.firstSecond : acked;
    double read = double(std::min(first, kFirstSecondBytes) + (acked - std::min(acked, first)));
    return (read + kPriorPace * kPriorSeconds)
           / (std::chrono::duration<double>(now - c.sendingSince).count() + kPriorSeconds);
}

bool ConnectionLoop::acceptNew(Connections& conns)
{
    for (int i = 0; i < kAcceptBatch; ++i) {
        // With every place taken, a new one needs room to wait beside those held.
        const bool full = held(conns) >= maxHeld;
        if (full && !waitingRoomFor(conns))
            return false;
        sockaddr_storage addr{};
        socklen_t length = sizeof addr;
        int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&addr), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Out of file descriptors: one that may give way goes.
            if (errno == EMFILE || errno == ENFILE) {
                Connection* c = victim(conns, 1);
                if (!c)
                    return false;
                evict(*c);
                continue;
            }
            return true;
        }
        std::string peer = peerKey(addr);
        bool waiting = false;
        bool ready = false;
        if (full) {
            // Its request has come: it takes the place of one that gives way;
            // else it waits for its request, or for a place.
            char first;
            ready = ::recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
            Connection* c = ready ? victim(conns, connectionsFrom(peer) + 1) : nullptr;
            if (c) {
                evict(*c);
                ready = false;
            } else {
                waiting = true;
                makeWaitingRoom(conns);
            }
        }
        int unsent = kUnsentBytes;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsent, sizeof unsent);
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++addressCounts[peer];
        }
        conns.push_back(std::make_unique<Connection>(fd, std::move(peer), limits, 0));
        Connection& c = *conns.back();
        c.waiting = waiting;
        c.ready = ready;
        if (ready)
            c.deadline = Clock::now() + limits.requestTimeout;
        // A request has mostly come with its connection.
        if (!ready)
            readFrom(conns, c);
    }
    return true;
}

int ConnectionLoop::connectionsFrom(const std::string& peer)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto found = addressCounts.find(peer);
    return found == addressCounts.end() ? 0 : found->second;
}

ConnectionLoop::Connection* ConnectionLoop::idleHeld(const Connections& conns, Clock::time_point now) const
{
    Connection* oldest = nullptr;
    for (const auto& c : conns) {
        if (c->fd >= 0 && !c->writing && !c->waiting && (!oldest || c->opened < oldest->opened))
            oldest = c.get();
    }
    return oldest && now - oldest->opened >= kRequestGrace ? oldest : nullptr;
}

ConnectionLoop::Connection* ConnectionLoop::makingWay(const Connections& conns) const
{
    const Clock::time_point now = Clock::now();
    long count = std::count_if(conns.begin(), conns.end(), [](const auto& c) { return c->fd >= 0 && c->waiting; });
    if (count < maxWaiting)
        return nullptr;
    // Once it has waited a moment, or at once while one held has waited as
    // long for its request: idle connections are coming then.
    const bool idle = idleHeld(conns, now) != nullptr;
    Connection* oldest = nullptr;
    for (const auto& c : conns) {
        if (c->fd >= 0 && c->waiting && !c->ready && (idle || now - c->opened >= kRequestGrace)
            && (!oldest || c->opened < oldest->opened))
            oldest = c.get();
    }
    return oldest;
}

bool ConnectionLoop::waitingRoomFor(const Connections& conns) const
{
    long count = std::count_if(conns.begin(), conns.end(), [](const auto& c) { return c->fd >= 0 && c->waiting; });
    return count < maxWaiting || makingWay(conns);
}

void ConnectionLoop::makeWaitingRoom(Connections& conns)
{
    if (Connection* c = makingWay(conns))
        evict(*c);
}

bool ConnectionLoop::place(Connections& conns, Connection& c)
{
    if (held(conns) >= maxHeld) {
        Connection* other = victim(conns, connectionsFrom(c.peer));
        if (!other)
            return false;
        evict(*other);
    }
    c.waiting = false;
    c.ready = false;
    return true;
}

bool ConnectionLoop::placeReady(Connections& conns)
{
    std::vector<Connection*> ready;
    for (const auto& c : conns) {
        if (c->fd >= 0 && c->ready)
            ready.push_back(c.get());
    }
    std::sort(ready.begin(), ready.end(), [](Connection* a, Connection* b) { return a->opened < b->opened; });
    for (Connection* c : ready) {
        if (!place(conns, *c))
            return false;
        readFrom(conns, *c);
    }
    return true;
}

void ConnectionLoop::readFrom(Connections& conns, Connection& c)
{
    if (c.ready) {
        // Polled for nothing: the client has gone.
        closeConnection(c);
        return;
    }
    if (c.waiting && !c.draining) {
        // Its request has come, or its client has gone.
        char first;
        ssize_t n = ::recv(c.fd, &first, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0) {
            closeConnection(c);
            return;
        }
        if (!place(conns, c)) {
            c.ready = true;
            c.deadline = Clock::now() + limits.requestTimeout;
            return;
        }
    }
    char block[16384];
    // A few blocks at a time, so one busy client does not starve the others.
    for (int round = 0; round < 4 && c.fd >= 0; ++round) {
        ssize_t n = ::recv(c.fd, block, sizeof block, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            closeConnection(c);
            return;
        }
        if (c.draining) {
            c.drained += uint64_t(n);
            if (c.drained > kDrainBytes)
                closeConnection(c);
            continue;
        }
        receive(c, std::string_view(block, size_t(n)));
        if (c.draining)
            return;
    }
}

void ConnectionLoop::receive(Connection& c, std::string_view bytes)
{
    if (!c.started) {
        c.started = true;
        c.deadline = Clock::now() + limits.requestTimeout;
    }
    c.buffer.append(bytes);
    advance(c);
}

void ConnectionLoop::advance(Connection& c)
{
    RequestHead::State state = c.head.scan(c.buffer);
    if (state == RequestHead::State::Refused) {
        refuse(c, c.head.status());
        return;
    }
    if (state != RequestHead::State::Complete)
        return;
    size_t total = c.head.end() + size_t(c.head.bodyLength());
    if (c.buffer.size() < total)
        return;
    Job job{c.fd, c.peer, c.buffer.substr(c.head.begin(), total - c.head.begin()), c.buffer.substr(total), c.served};
    // The worker owns the socket now.
    c.fd = -1;
    dispatch(std::move(job));
}

void ConnectionLoop::refuse(Connection& c, int status)
{
    std::string text = reason(status);
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + text
                         + (status == 405 ? "\r\nAllow: GET, HEAD" : status == 503 ? "\r\nRetry-After: 1" : "")
                         + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size())
                         + "\r\nConnection: close\r\n\r\n" + text;
    // A few hundred bytes always fit the socket's buffer; a client that does
    // not read misses the answer.
    if (::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
        closeConnection(c);
        return;
    }
    ::shutdown(c.fd, SHUT_WR);
    // Reading on a little keeps the answer from being lost to a reset.
    c.draining = true;
    std::string().swap(c.buffer);
    c.deadline = Clock::now() + kDrainTime;
}

void ConnectionLoop::closeConnection(Connection& c)
{
    if (c.fd >= 0) {
        ::close(c.fd);
        std::lock_guard<std::mutex> lock(mutex);
        uncount(addressCounts, c.peer);
    }
    c.fd = -1;
    // The file of an answer cut off goes at once, for a connection waiting for a descriptor.
    c.answer = PendingAnswer();
}

void ConnectionLoop::expire(Connection& c)
{
    // No place came for its request.
    if (c.ready) {
        c.ready = false;
        refuse(c, 503);
        return;
    }
    if (c.writing) {
        const Clock::time_point due = c.deadline;
        writeTo(c);
        if (c.fd < 0 || !c.writing || c.deadline != due)
            return;
        // The socket took nothing, but the client may still be reading what
        // it holds; one that read nothing for the write time is dropped.
        if (progressed(c))
            c.deadline = Clock::now() + limits.writeTimeout;
        else
            closeConnection(c);
        return;
    }
    // A client still reading the end of the last answer is not idle.
    if (!c.started && !c.draining && progressed(c)) {
        c.deadline = Clock::now() + limits.writeTimeout;
        return;
    }
    if (c.started && !c.draining)
        refuse(c, 408);
    else
        closeConnection(c);
}

bool ConnectionLoop::progressed(Connection& c)
{
    int queued = unacked(c.fd);
    bool moved = queued < c.queued;
    c.queued = queued;
    return moved;
}

void ConnectionLoop::writeTo(Connection& c)
{
    const uint64_t before = c.taken;
    PendingAnswer::Sent sent = c.answer.send(c.fd, c.taken);
    if (sent == PendingAnswer::Sent::Failed) {
        closeConnection(c);
        return;
    }
    if (c.taken != before) {
        c.queued = unacked(c.fd);
        c.deadline = Clock::now() + limits.writeTimeout;
    }
    if (sent == PendingAnswer::Sent::Done)
        answerSent(c);
}

void ConnectionLoop::answerSent(Connection& c)
{
    c.writing = false;
    c.answer = PendingAnswer();
    if (c.closeAfter) {
        // The kernel still delivers what it holds of the answer.
        closeConnection(c);
        return;
    }
    c.opened = Clock::now();
    c.deadline = c.opened + limits.idleTimeout;
    c.queued = unacked(c.fd);
    std::string after;
    after.swap(c.after);
    if (!after.empty())
        receive(c, after);
}

void ConnectionLoop::takeReturned(Connections& conns)
{
    std::vector<Job> back;
    {
        std::lock_guard<std::mutex> lock(mutex);
        back.swap(returned);
        outstanding -= int(back.size());
    }
    for (Job& job : back) {
        conns.push_back(std::make_unique<Connection>(job.fd, std::move(job.peer), limits, job.served));
        Connection& c = *conns.back();
        c.answer = std::move(job.answer);
        c.closeAfter = job.closeAfter;
        c.after = std::move(job.rest);
        c.writing = true;
        c.queued = unacked(c.fd);
        c.queuedAtStart = c.queued;
        c.sendingSince = Clock::now();
        c.deadline = c.sendingSince + limits.writeTimeout;
        writeTo(c);
    }
}

void ConnectionLoop::dispatch(Job job)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++outstanding;
    jobs.push_back(std::move(job));
    if (jobs.size() > size_t(idleWorkers) && workers.size() < size_t(std::max(1, limits.maxWorkers)))
        workers.emplace_back(&ConnectionLoop::workerLoop, this);
    jobReady.notify_one();
}

void ConnectionLoop::workerLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        ++idleWorkers;
        jobReady.wait(lock, [this] { return closing || !jobs.empty(); });
        --idleWorkers;
        if (closing)
            return;
        Job job = std::move(jobs.front());
        jobs.pop_front();
        inFlight.insert(job.fd);
        lock.unlock();

        RequestStream stream(job.fd, std::move(job.request));
        bool last = job.served + 1 >= limits.maxRequestsPerConnection;
        bool closeAfter = false;
        bool ok = handler(stream, last, closeAfter);
        PendingAnswer answer = stream.takeRest();
        closeAfter = !ok || closeAfter || last;

        lock.lock();
        inFlight.erase(job.fd);
        if (stream.failed() || closing || (closeAfter && answer.empty())) {
            ::close(job.fd);
            uncount(addressCounts, job.peer);
            --outstanding;
        } else {
            returned.push_back({job.fd, std::move(job.peer), std::string(), std::move(job.rest), job.served + 1,
                                std::move(answer), closeAfter});
        }
        // Also when a connection ended: the loop may be waiting for room.
        wake();
    }
}
