#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Messages between programs, in place of finding another program's window by class and title and posting
// or sending it window messages. Each findable window is a Unix-domain socket in a private per-user folder
// (mode 0700, so no other user can close our programs or talk to them); the socket's name carries the
// window's class and title. A post connects, writes one envelope and closes without waiting; a send waits
// for the handler's result, but never longer than its time-out, so a hung peer cannot freeze the sender.
//
// The client functions are plain blocking calls and need no event loop. A WindowListener answers on a
// thread of its own, one message at a time, in the order their envelopes are complete. It reads its
// connections side by side, and each is closed two seconds after the listener took it at the latest, however
// its peer sends: a slow or silent peer holds up no other.
namespace plat::winmsg {

// An opaque window identity that can travel inside a message (wParam, dwData); 0 is no window.
using WindowHandle = std::uint64_t;

constexpr std::uint32_t WM_CLOSE = 16;
constexpr std::uint32_t WM_CANCELMODE = 31;
constexpr std::uint32_t WM_COPYDATA = 74;
constexpr std::uint32_t WM_COMMAND = 273;

// Time a send waits for its result unless told otherwise.
constexpr int kDefaultSendTimeoutMs = 5000;

struct WindowMessage {
    std::uint32_t msg = 0;
    std::uint64_t wParam = 0;
    // For WM_COPYDATA this carries the dwData word; the bytes travel in data.
    std::uint64_t lParam = 0;
    std::vector<std::uint8_t> data;
    // True for a send, whose handler result goes back to the sender; false for a post.
    bool isSend = false;
};

// The folder that holds the window sockets: $VORD_WINDOWS_DIR when set, else $XDG_RUNTIME_DIR/vord-windows,
// else the fallback folder below /tmp. Created with mode 0700 when missing. A named folder that belongs to
// another user is refused (empty result), and one of ours that others could enter is closed to them first.
std::string windowsFolder();
// The folder below base when there is no runtime folder: base/vord-windows-<uid> when it is ours, a real
// folder and mode 0700 (made when missing); else, because another user may have taken that name, the first
// by name of our private folders base/vord-windows-<uid>-XXXXXX, made with mkdtemp when there is none. Empty
// only when no folder can be made.
std::string fallbackWindowsFolder(const std::string& base);

// Live windows of that class and title, newest first. std::nullopt matches any class or title; names are
// compared without regard to ASCII case. A socket file that nobody listens on is removed and not reported.
std::vector<WindowHandle> findWindows(std::optional<std::string_view> className, std::optional<std::string_view> title);
// The newest live window of that class and title, or 0.
WindowHandle findWindow(std::optional<std::string_view> className, std::optional<std::string_view> title);
// True while a listener answers for the handle.
bool isWindow(WindowHandle window);

// Delivers a message without waiting for it to be handled. False when the window is gone.
bool postMessage(WindowHandle window, std::uint32_t msg, std::uint64_t wParam = 0, std::uint64_t lParam = 0,
                 std::span<const std::uint8_t> data = {});
// Delivers a message and waits at most timeoutMs for the handler's result; std::nullopt when the window is
// gone or did not answer in time.
std::optional<std::uint64_t> sendMessage(WindowHandle window, std::uint32_t msg, std::uint64_t wParam,
                                         std::uint64_t lParam, std::span<const std::uint8_t> data = {},
                                         int timeoutMs = kDefaultSendTimeoutMs);

// One findable window. The handler runs on the listener's own thread; for a send its result is returned to
// the sender, for a post it is ignored. A handler must not send to its own window (it would wait for itself
// until the time-out).
class WindowListener {
public:
    using Handler = std::function<std::uint64_t(const WindowMessage&)>;

    WindowListener();
    ~WindowListener();
    WindowListener(const WindowListener&) = delete;
    WindowListener& operator=(const WindowListener&) = delete;

    // Makes the window findable. False when it cannot be (folder refused, names too long, already registered).
    bool registerWindow(std::string_view className, std::string_view title, Handler handler);
    // Removes the window; messages already being handled finish first. Also done by the destructor.
    void unregisterWindow();
    WindowHandle handle() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace plat::winmsg
