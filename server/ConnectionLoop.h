#pragma once

#include "server/PendingAnswer.h"
#include "server/RequestHead.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class RequestStream;

// Time and size limits of the server's connections.
struct ConnectionLimits
{
    RequestLimits request;
    std::chrono::milliseconds idleTimeout{5000};     // waiting for the first byte of a request
    std::chrono::milliseconds requestTimeout{10000}; // from a request's first byte to its last
    std::chrono::milliseconds writeTimeout{5000};    // an answer's client taking no byte
    int maxConnections = 512;                        // connections held at once, fewer with few file descriptors
    // With all connections taken, one that has waited this long for its
    // request, or has been sending its answer this long, may make way for a new one.
    std::chrono::milliseconds makeWayAfter{1000};
    int maxWorkers = 32;                             // threads answering requests
    int maxRequestsPerConnection = 100;
};

// Accepts connections and reads their requests on one thread that waits on
// all of them at once, within the time and size limits; only a request that
// has arrived in full goes to a worker thread to be answered. What of an
// answer the socket does not take at once (a large file above all) is sent by
// the same thread as the client reads it. A slow or idle client so holds a
// little memory, never a thread; one that takes nothing for the write time is
// dropped. With every connection taken, a new one takes the place of one that
// has waited long for its request, else of the slowest reader of an answer,
// from the client address that holds the most connections; while there is
// none of either, new connections wait in the kernel.
class ConnectionLoop
{
public:
    // Answers one complete request read from stream; lastRequest asks for the
    // connection to be closed after it. False, or closeConnection set, ends
    // the connection once the answer is sent.
    using Handler = std::function<bool(RequestStream& stream, bool lastRequest, bool& closeConnection)>;

    ConnectionLoop(ConnectionLimits limits, Handler handler);
    ~ConnectionLoop();
    ConnectionLoop(const ConnectionLoop&) = delete;
    ConnectionLoop& operator=(const ConnectionLoop&) = delete;

    // Listens on host:port (0 picks a free port); the port, -1 with errno set on failure.
    int bind(const std::string& host, int port);
    // Serves until stop(); returns at once when stop() came first.
    bool run();
    // Ends run(); answers in progress are cut off.
    void stop();

private:
    struct Connection;
    struct Job
    {
        int fd;
        std::string peer;    // the client's address
        std::string request; // one request's head and body
        std::string rest;    // bytes that followed it
        int served;
        PendingAnswer answer = {}; // on the way back: what is still to be sent
        bool closeAfter = false;   // on the way back: close once it is sent
    };
    using Connections = std::vector<std::unique_ptr<Connection>>;

    // The connections the file descriptor limit leaves room for, at most maxConnections.
    int capacity() const;
    // Connections open here and at the workers.
    long held(const Connections& conns);
    // False when no connection could be accepted for want of file descriptors.
    bool acceptNew(Connections& conns);
    // True when a new connection can be taken now; else, when one may give
    // way for it later, retryAt is lowered to that time.
    bool hasRoom(const Connections& conns, std::chrono::steady_clock::time_point& retryAt);
    // With every connection taken, closes the one that gives way.
    void makeRoom(Connections& conns);
    // The connection that gives way for a new one: the longest waiting for a
    // request, once it has waited makeWayAfter; else, of the client address
    // holding most connections, the answer whose client has taken the fewest
    // bytes a second, once it has been sent for as long. Null when
    // none may go; retryAt is then lowered to when one may. Without best,
    // any that may go.
    Connection* victim(const Connections& conns, bool best, std::chrono::steady_clock::time_point& retryAt) const;
    // Closes c for a new connection; what it still had to send is dropped.
    void evict(Connection& c);
    void readFrom(Connection& c);
    void writeTo(Connection& c);
    // True when the client took bytes of the answer since the last look.
    bool progressed(Connection& c);
    void answerSent(Connection& c);
    // Adds bytes of a request; the first starts the request's time limit.
    void receive(Connection& c, std::string_view bytes);
    void advance(Connection& c);
    void refuse(Connection& c, int status);
    void closeConnection(Connection& c);
    void expire(Connection& c);
    void takeReturned(Connections& conns);
    void dispatch(Job job);
    void workerLoop();
    void wake();

    ConnectionLimits limits;
    Handler handler;
    int listenFd = -1;
    int wakeFd = -1;
    int maxHeld = 0; // connections held at once, set when run() starts
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<Job> jobs;
    std::vector<Job> returned;
    std::set<int> inFlight;
    int outstanding = 0; // connections handed to the workers and not yet back
    int idleWorkers = 0;
    bool closing = false;
    std::vector<std::thread> workers;
};
