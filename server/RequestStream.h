#pragma once

#include "server/PendingAnswer.h"

#include <httplib.h>

#include <string>

// The stream one request is answered on: reads come only from the request's
// bytes, which the connection loop has already received in full, so answering
// never waits for the client to send; writes go to the socket as far as it
// takes them at once, and the rest is kept for the connection loop to send,
// so answering never waits for the client to read either.
class RequestStream : public httplib::Stream
{
public:
    RequestStream(int fd, std::string request);
    ~RequestStream() override;
    RequestStream(const RequestStream&) = delete;
    RequestStream& operator=(const RequestStream&) = delete;

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override;

    // The answer ends with the file's bytes [offset, offset + length), sent
    // after everything written on the stream; takes fileFd.
    void sendFileAfter(int fileFd, uint64_t offset, uint64_t length);

    // Takes every line of the header name out of the request's head, before
    // it is read; their values, joined by ", ", in value. False when there
    // was none.
    bool takeHeader(const std::string& name, std::string& value);

    // True once a write failed.
    bool failed() const { return broken; }
    // What the socket has not taken yet, the file last.
    PendingAnswer takeRest();

private:
    int fd;
    std::string request;
    size_t readPos = 0;
    PendingAnswer rest;
    int fileFd = -1;
    uint64_t fileOffset = 0;
    uint64_t fileLength = 0;
    bool broken = false;
};
