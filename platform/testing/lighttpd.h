// A real web server for the end-to-end tests: lighttpd with mod_cgi on a
// free port of 127.0.0.1, serving a fresh directory:
//
//   DIR/lighttpd.conf, DIR/error.log
//   DIR/www/                document root
//   DIR/www/cgi-bin/        every file here runs as a CGI program
//
// The server runs in the foreground (-D) as a child of the test and is
// stopped when the object goes.
#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/testing/http_client.h"
#include "platform/testing/temp_dir.h"

namespace tlvx::test {

inline std::string FindLighttpd() {
    for (const char* path : {"/usr/sbin/lighttpd", "/usr/bin/lighttpd", "/usr/local/sbin/lighttpd"})
        if (::access(path, X_OK) == 0) return path;
    return "";
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

// A port nobody listens on now (the kernel's pick for an ephemeral bind).
inline uint16_t FreeLocalPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error("no free port");
    }
    uint16_t port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

class TLighttpd {
public:
    TLighttpd() {
        std::filesystem::create_directories(dir_.Path() + "/www/cgi-bin");
    }
    ~TLighttpd() { Stop(); }
    TLighttpd(const TLighttpd&) = delete;
    TLighttpd& operator=(const TLighttpd&) = delete;

    const std::string& Dir() const { return dir_.Path(); }
    std::string WwwDir() const { return dir_.Path() + "/www"; }
    std::string CgiDir() const { return dir_.Path() + "/www/cgi-bin"; }
    uint16_t Port() const { return port_; }

    // Copies a program into cgi-bin, or a folder below it when name has a
    // "/" (a copy, so that its directory, where it finds its configuration,
    // is the test's).
    std::string InstallCgi(const std::string& program, const std::string& name) {
        std::string target = CgiDir() + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(target).parent_path());
        std::filesystem::copy_file(program, target,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(target, std::filesystem::perms::owner_all);
        return target;
    }

    // Modules loaded before mod_cgi (such as "mod_auth", "mod_authn_file")
    // and configuration lines added at the end; set before Start.
    void AddModule(const std::string& module) { modules_ += "\"" + module + "\", "; }
    void AddConf(const std::string& lines) { extraConf_ += lines; }

    // Starts the server and waits until it accepts connections. A port
    // taken between the pick and the bind gets another try.
    void Start() {
        const std::string lighttpd = FindLighttpd();
        if (lighttpd.empty()) throw std::runtime_error("lighttpd is not installed");
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = FreeLocalPort();
            WriteConf();
            pid_ = ::fork();
            if (pid_ < 0) throw std::runtime_error("fork failed");
            if (pid_ == 0) {
                ::execl(lighttpd.c_str(), lighttpd.c_str(), "-D", "-f",
                        (Dir() + "/lighttpd.conf").c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (WaitUntilListening()) return;
            Stop();
        }
        throw std::runtime_error("lighttpd did not start: " + ReadWholeFile(Dir() + "/error.log"));
    }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    // The server's own log, then what its CGI programs wrote to standard
    // error (lighttpd keeps that apart, as a site's web server would log it).
    std::string ErrorLog() const {
        return ReadWholeFile(Dir() + "/error.log") + ReadWholeFile(Dir() + "/breakage.log");
    }

private:
    void WriteConf() {
        WriteWholeFile(Dir() + "/lighttpd.conf",
                       "server.document-root = \"" + WwwDir() + "\"\n"
                       "server.bind = \"127.0.0.1\"\n"
                       "server.port = " + std::to_string(port_) + "\n"
                       "server.errorlog = \"" + Dir() + "/error.log\"\n"
                       "server.breakagelog = \"" + Dir() + "/breakage.log\"\n"
                       "server.modules = (" + modules_ + "\"mod_cgi\")\n"
                       "server.max-connections = 256\n"
                       // The program must hold its own against control
                       // bytes and any encoded byte in the query and any
                       // byte in a header, so the server lets them in
                       // (its URL normalising refuses %FF, for one).
                       "server.http-parseopts = (\"url-ctrls-reject\" => \"disable\", "
                       "\"header-strict\" => \"disable\", \"url-normalize\" => \"disable\")\n"
                       "mimetype.assign = (\".html\" => \"text/html\")\n"
                       "$HTTP[\"url\"] =~ \"^/cgi-bin/\" { cgi.assign = (\"\" => \"\") }\n" +
                       extraConf_);
    }

    // Polls the port while the child lives; false when it exits first or
    // does not listen within 10 s.
    bool WaitUntilListening() {
        for (int i = 0; i < 1000; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            int fd = ConnectLocal(port_);
            if (fd >= 0) {
                ::close(fd);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    TTestTempDir dir_;
    std::string modules_, extraConf_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace tlvx::test
