#include "platform/testing/headless_browser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tlvx::test {
namespace {

// Long enough for a page of the sanitizer tree on a busy machine.
constexpr int kTimeoutMs = 60'000;

}  // namespace

std::string FindChromium() {
    if (const char* path = std::getenv("TLVX_CHROMIUM"); path && *path) return path;
    // The program itself rather than Debian's wrapper script, which only
    // adds flags we set anyway.
    for (const char* path : {"/usr/lib/chromium/chromium", "/usr/bin/chromium"})
        if (::access(path, X_OK) == 0) return path;
    return "";
}

THeadlessBrowser::THeadlessBrowser(const std::string& program) {
    if (program.empty()) throw std::runtime_error("no Chromium to start");
    int commands[2], answers[2];
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(answers, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, commands[0], 3);
    posix_spawn_file_actions_adddup2(&actions, answers[1], 4);
    const std::vector<std::string> args = {
        program, "--headless", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu",
        "--disable-quic", "--no-first-run", "--no-default-browser-check",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--disable-extensions", "--mute-audio", "--hide-scrollbars", "--window-size=1200,1600",
        "--user-data-dir=" + profile_.Path(), "about:blank"};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env = {"HOME=" + profile_.Path(), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(commands[0]);
    ::close(answers[1]);
    toBrowser_ = commands[1];
    fromBrowser_ = answers[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program);
    }
    const TJsonValue target = Call("Target.createTarget", R"({"url":"about:blank"})", false);
    const TJsonValue attached = Call("Target.attachToTarget",
                                     R"({"targetId":)" + JsonQuote(target["targetId"].String()) + R"(,"flatten":true})",
                                     false);
    session_ = attached["sessionId"].String();
    Call("Page.enable");
    Call("Runtime.enable");
}

THeadlessBrowser::~THeadlessBrowser() {
    if (pid_ > 0) {
        try {
            Call("Browser.close", "{}", false);
        } catch (...) {
        }
        // A browser that does not go within a few seconds is stopped.
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    if (toBrowser_ >= 0) ::close(toBrowser_);
    if (fromBrowser_ >= 0) ::close(fromBrowser_);
}

TJsonValue THeadlessBrowser::Call(const std::string& method, const std::string& params, bool toTab) {
    const int id = nextId_++;
    std::string message = R"({"id":)" + std::to_string(id) + R"(,"method":)" + JsonQuote(method) +
                          R"(,"params":)" + params;
    if (toTab) message += R"(,"sessionId":)" + JsonQuote(session_);
    message += '}';
    message += '\0';
    for (size_t sent = 0; sent < message.size();) {
        const ssize_t n = ::write(toBrowser_, message.data() + sent, message.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the browser went away");
        sent += size_t(n);
    }
    for (;;) {
        TJsonValue reply = Receive();
        if (!reply.Has("id")) {
            Dispatch(reply);
            continue;
        }
        if (int(reply["id"].Number()) != id) continue;
        if (reply.Has("error"))
            throw std::runtime_error(method + ": " + reply["error"]["message"].String());
        return reply["result"];
    }
}

TJsonValue THeadlessBrowser::Receive() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
        if (const size_t end = buffer_.find('\0'); end != std::string::npos) {
            TJsonValue message = TJsonValue::Parse(std::string_view(buffer_).substr(0, end));
            buffer_.erase(0, end + 1);
            return message;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error("the browser did not answer in time");
        pollfd fd{fromBrowser_, POLLIN, 0};
        if (::poll(&fd, 1, int(left.count())) <= 0) continue;
        char chunk[65536];
        const ssize_t n = ::read(fromBrowser_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("the browser closed its pipe");
        buffer_.append(chunk, size_t(n));
    }
}

void THeadlessBrowser::Dispatch(const TJsonValue& event) {
    if (event["method"].String() == "Page.javascriptDialogOpening") {
        ++dialogs_;
        // Answered at once: the page stays blocked until the dialog goes.
        const int id = nextId_++;
        const std::string message = R"({"id":)" + std::to_string(id) +
                                    R"(,"method":"Page.handleJavaScriptDialog","params":{"accept":false},"sessionId":)" +
                                    JsonQuote(session_) + "}" + std::string(1, '\0');
        if (::write(toBrowser_, message.data(), message.size()) != ssize_t(message.size()))
            throw std::runtime_error("the browser went away");
        return;
    }
    events_.push_back(event);
}

TJsonValue THeadlessBrowser::WaitForEvent(const std::string& method) {
    for (;;) {
        while (!events_.empty()) {
            TJsonValue event = std::move(events_.front());
            events_.pop_front();
            if (event["method"].String() == method) return event;
        }
        TJsonValue message = Receive();
        if (!message.Has("id")) Dispatch(message);
    }
}

int THeadlessBrowser::Navigate(const std::string& url) {
    events_.clear();
    const TJsonValue navigated = Call("Page.navigate", R"({"url":)" + JsonQuote(url) + "}");
    if (navigated.Has("errorText")) throw std::runtime_error("cannot open " + url + ": " + navigated["errorText"].String());
    WaitForEvent("Page.loadEventFired");
    const TJsonValue status =
        Evaluate("(performance.getEntriesByType('navigation')[0] || {}).responseStatus || 0");
    return int(status.Number());
}

TJsonValue THeadlessBrowser::Evaluate(const std::string& expression) {
    const TJsonValue result = Call("Runtime.evaluate", R"({"expression":)" + JsonQuote(expression) +
                                                           R"(,"returnByValue":true,"awaitPromise":true})");
    if (result.Has("exceptionDetails"))
        throw std::runtime_error("script failed: " + result["exceptionDetails"]["text"].String() + " " +
                                 result["exceptionDetails"]["exception"]["description"].String());
    return result["result"]["value"];
}

std::string THeadlessBrowser::ScreenshotPng() {
    const TJsonValue metrics = Call("Page.getLayoutMetrics");
    const TJsonValue& size = metrics["cssContentSize"];
    const std::string clip = R"({"x":0,"y":0,"width":)" + std::to_string(int(size["width"].Number())) +
                             R"(,"height":)" + std::to_string(int(size["height"].Number())) + R"(,"scale":1})";
    const TJsonValue shot = Call("Page.captureScreenshot",
                                 R"({"format":"png","captureBeyondViewport":true,"clip":)" + clip + "}");
    return Base64Decode(shot["data"].String());
}

std::string Base64Decode(std::string_view text) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        int v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26
              : c >= '0' && c <= '9' ? c - '0' + 52 : c == '+' ? 62 : c == '/' ? 63 : -1;
        if (v < 0) break;
        bits = bits << 6 | uint32_t(v);
        if ((count += 6) >= 8) {
            count -= 8;
            out += char(bits >> count & 0xFF);
        }
    }
    return out;
}

}  // namespace tlvx::test
