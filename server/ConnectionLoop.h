#pragma once

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

namespace httplib {
class Stream;
}

// Time and size limits of the server's connections.
struct ConnectionLimits
{
    RequestLimits request;
    std::chrono::milliseconds idleTimeout{5000};     // waiting for the first byte of a request
    std::chrono::milliseconds requestTimeout{10000}; // from a request's first byte to its last
    std::chrono::milliseconds writeTimeout{5000};    // for each block of an answer
    int maxConnections = 512;                        // connections waiting for a request
    int maxWorkers = 32;                             // threads answering requests
    int maxRequestsPerConnection = 100;
};

// Accepts connections and reads their requests on one thread that waits on
// all of them at once, within the time and size limits; only a request that
// has arrived in full goes to a worker thread to be answered. A slow or idle
// client so holds a little memory for a limited time, never a thread.
class ConnectionLoop
{
public:
    // Answers one complete request read from stream; lastRequest asks for the
    // connection to be closed after it. False, or closeConnection set, ends
    // the connection.
    using Handler = std::function<bool(httplib::Stream& stream, bool lastRequest, bool& closeConnection)>;

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
        std::string request; // one request's head and body
        std::string rest;    // bytes that followed it
        int served;
    };

    // False when no connection could be accepted for want of file descriptors.
    bool acceptNew(std::vector<std::unique_ptr<Connection>>& conns);
    void readFrom(Connection& c);
    // Adds bytes of a request; the first starts the request's time limit.
    void receive(Connection& c, std::string_view bytes);
    void advance(Connection& c);
    void refuse(Connection& c, int status);
    void closeConnection(Connection& c);
    void expire(Connection& c);
    void takeReturned(std::vector<std::unique_ptr<Connection>>& conns);
    void dispatch(Job job);
    void workerLoop();
    void wake();

    ConnectionLimits limits;
    Handler handler;
    int listenFd = -1;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};

    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<Job> jobs;
    std::vector<Job> returned;
    std::set<int> inFlight;
    int idleWorkers = 0;
    bool closing = false;
    std::vector<std::thread> workers;
};
