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
#include <unordered_map>
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
    int maxWorkers = 32;                             // threads answering requests
    int maxRequestsPerConnection = 100;
};

// Accepts connections and reads their requests on one thread that waits on
// all of them at once, within the time and size limits; only a request that
// has arrived in full goes to a worker thread to be answered. What of an
// answer the socket does not take at once (a large file above all) is sent by
// the same thread as the client reads it, and the kernel holds little of it
// unsent. A slow or idle client so holds a little memory, never a thread; one
// that takes nothing for the write time is dropped.
// New connections are accepted as soon as they come and what came with them
// is read. With every place taken, a new one whose request has come takes the
// place of one that gives way (see victim()), or is closed when none may; one
// whose request has not come yet waits for it beside those held, a few at
// most, the longest waiting making way. With nothing that may give way, new
// connections wait in the kernel for a moment.
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

    // Sets the connections the file descriptor limit leaves room for, at
    // most maxConnections, and those that may wait beside them.
    void sizeUp();
    // Connections held, here and at the workers; not those waiting beside them.
    long held(const Connections& conns);
    // Accepts what is queued, a batch at a time, and reads what came with
    // it; false when there is no room to take one now.
    bool acceptNew(Connections& conns);
    // The connection that gives way for a new one whose client address would
    // hold count connections with it: the one that has waited longest for a
    // request, once it has had a moment to send it; else one sending an
    // answer that the new one may take the place of (from an address holding
    // at least twice as many, or a quarter of all places, or whose client has
    // taken less than a new client is thought to): of those from the busiest
    // addresses, the one whose client has taken the fewest bytes a second.
    // Null when there is none.
    Connection* victim(const Connections& conns, int count);
    // Closes c for a new connection; what it still had to send is dropped.
    void evict(Connection& c);
    // Bytes a second the client of c's answer has taken: what it has
    // acknowledged, of which the first second counts for little, and a new
    // client's pace to start with.
    double pace(const Connection& c, std::chrono::steady_clock::time_point now) const;
    // Connections open from peer, here and at the workers.
    int connectionsFrom(const std::string& peer);
    // The held connection that has waited longest for its request, once it
    // has waited a moment; null when none has.
    Connection* idleHeld(const Connections& conns, std::chrono::steady_clock::time_point now) const;
    // With as many waiting as may, the one waiting longest for its request
    // that may make way for a new one; null when there is room, or none may.
    Connection* makingWay(const Connections& conns) const;
    // True when one more may wait beside those held: there is room, or one
    // waiting may make way.
    bool waitingRoomFor(const Connections& conns) const;
    // With as many waiting as may, closes the one that makes way.
    void makeWaitingRoom(Connections& conns);
    // A waiting connection whose request has come takes a place: a free one,
    // or that of one that gives way. False when there is none.
    bool place(Connections& conns, Connection& c);
    // Places and reads those waiting with their request, the longest waiting
    // first; false when one found no place.
    bool placeReady(Connections& conns);
    void readFrom(Connections& conns, Connection& c);
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
    int maxHeld = 0;    // connections held at once, set when run() starts
    int maxWaiting = 0; // connections waiting for their request beside them
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<Job> jobs;
    std::vector<Job> returned;
    std::set<int> inFlight;
    int outstanding = 0; // connections handed to the workers and not yet back
    std::unordered_map<std::string, int> addressCounts; // connections open here and at the workers, by client address
    int idleWorkers = 0;
    bool closing = false;
    std::vector<std::thread> workers;
};
