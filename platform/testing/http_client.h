// A small HTTP/1.0 client for the end-to-end tests: one request per
// connection, the reply read to the end.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tlvx::test {

struct THttpReply {
    int Status = 0;
    std::string Head;  // the status line and headers as received
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;

    // The first header of that name (case-insensitive), or "".
    std::string Header(const std::string& name) const {
        for (const auto& [n, v] : Headers)
            if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
        return "";
    }
    std::vector<std::string> All(const std::string& name) const {
        std::vector<std::string> values;
        for (const auto& [n, v] : Headers)
            if (strcasecmp(n.c_str(), name.c_str()) == 0) values.push_back(v);
        return values;
    }
};

inline int ConnectLocal(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends the bytes of a complete request and reads the reply until the
// server closes the connection.
inline std::string Exchange(uint16_t port, const std::string& request) {
    int fd = ConnectLocal(port);
    if (fd < 0) throw std::runtime_error("connect failed");
    size_t sent = 0;
    while (sent < request.size()) {
        ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += size_t(n);
    }
    std::string reply;
    char buffer[16384];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        reply.append(buffer, size_t(n));
    }
    ::close(fd);
    return reply;
}

inline THttpReply ParseReply(const std::string& raw) {
    THttpReply reply;
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) throw std::runtime_error("reply without header end: " + raw);
    reply.Head = raw.substr(0, end + 2);
    reply.Body = raw.substr(end + 4);
    size_t line = reply.Head.find("\r\n");
    std::string status = reply.Head.substr(0, line);
    if (status.size() < 12) throw std::runtime_error("bad status line: " + status);
    reply.Status = std::stoi(status.substr(9, 3));
    for (size_t pos = line + 2; pos < reply.Head.size();) {
        size_t next = reply.Head.find("\r\n", pos);
        std::string header = reply.Head.substr(pos, next - pos);
        size_t colon = header.find(':');
        if (colon != std::string::npos) {
            size_t v = colon + 1;
            while (v < header.size() && header[v] == ' ') ++v;
            reply.Headers.emplace_back(header.substr(0, colon), header.substr(v));
        }
        pos = next + 2;
    }
    return reply;
}

// GET target with extra header lines (each ending in CR LF), for the site
// host.
inline THttpReply HttpGet(uint16_t port, const std::string& target,
                          const std::string& extraHeaders = "", const std::string& host = "127.0.0.1") {
    return ParseReply(Exchange(port, "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n" +
                                         extraHeaders + "Connection: close\r\n\r\n"));
}

}  // namespace tlvx::test
