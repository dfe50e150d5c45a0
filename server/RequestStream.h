#pragma once

#include <httplib.h>

#include <chrono>
#include <string>

// The stream one request is answered on: reads come only from the request's
// bytes, which the connection loop has already received in full, so answering
// never waits for the client to send; writes go to the socket, each within a
// time limit, so a client that stops reading is dropped.
class RequestStream : public httplib::Stream
{
public:
    RequestStream(int fd, std::string request, std::chrono::milliseconds writeTimeout);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

    // True once a write failed or timed out.
    bool failed() const { return broken; }

private:
    int fd;
    std::string request;
    size_t readPos = 0;
    std::chrono::milliseconds writeTimeout;
    bool broken = false;
};
