// A headless Chromium driven over its DevTools protocol on a pipe
// (--remote-debugging-pipe: commands go to the browser's descriptor 3,
// answers and events come from its descriptor 4, each message a JSON text
// ended by a NUL byte). One browser, one tab; the end-to-end tests open
// pages in it, read the document through JavaScript and take screenshots.
//
// Script dialogs (alert, confirm, prompt) are dismissed as they open and
// counted, so a page that opens one neither hangs the test nor goes unseen.
#pragma once

#include <sys/types.h>

#include <deque>
#include <string>

#include "platform/testing/json_value.h"
#include "platform/testing/temp_dir.h"

namespace tlvx::test {

// The Chromium program to start: $TLVX_CHROMIUM, else Debian's; "" when
// there is none.
std::string FindChromium();

class THeadlessBrowser {
public:
    // Starts the browser with a fresh profile and opens one tab; raises
    // std::runtime_error when it does not come up.
    explicit THeadlessBrowser(const std::string& program = FindChromium());
    ~THeadlessBrowser();
    THeadlessBrowser(const THeadlessBrowser&) = delete;
    THeadlessBrowser& operator=(const THeadlessBrowser&) = delete;

    // Opens url in the tab and waits until it has loaded (images included).
    // Returns the HTTP status of the document, 0 when there was none.
    int Navigate(const std::string& url);
    // The value of a JavaScript expression in the page (objects and arrays
    // as JSON values); raises when it throws.
    TJsonValue Evaluate(const std::string& expression);
    // The whole page (not only the window) as PNG bytes.
    std::string ScreenshotPng();
    // Script dialogs opened since the browser started.
    int DialogsOpened() const { return dialogs_; }

private:
    // Sends a command to the tab (or to the browser when session is false)
    // and waits for its answer; events that arrive meanwhile are queued.
    TJsonValue Call(const std::string& method, const std::string& params = "{}", bool toTab = true);
    TJsonValue Receive();
    void Dispatch(const TJsonValue& event);
    TJsonValue WaitForEvent(const std::string& method);

    TTestTempDir profile_;
    pid_t pid_ = -1;
    int toBrowser_ = -1, fromBrowser_ = -1;
    std::string buffer_;
    std::deque<TJsonValue> events_;
    std::string session_;
    int nextId_ = 1;
    int dialogs_ = 0;
};

// Decodes base64 (the screenshots' transport); stops at the first byte
// that is not of the alphabet.
std::string Base64Decode(std::string_view text);

}  // namespace tlvx::test
