// Registers the communications server's window, appends the number of every message posted to it to the file
// named by $VORD_FAKESERVER_LOG (one per line) and ends when it receives WM_CLOSE, as the real server does.
// It never runs longer than a minute, so a test that forgets it leaves nothing behind for long.
#include "platform/WindowMessages.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

int main() {
    const char* log = std::getenv("VORD_FAKESERVER_LOG");
    const std::string logPath = log ? log : "";
    std::mutex mutex;
    std::condition_variable closed;
    bool closeReceived = false;

    plat::winmsg::WindowListener window;
    const bool registered = window.registerWindow("Afx:400000:0", "Quarn Communications",
                                                  [&](const plat::winmsg::WindowMessage& m) -> std::uint64_t {
                                                      if (!logPath.empty()) {
                                                          if (std::FILE* f = std::fopen(logPath.c_str(), "a")) {
                                                              std::fprintf(f, "%u\n", m.msg);
                                                              std::fclose(f);
                                                          }
                                                      }
                                                      if (m.msg == plat::winmsg::WM_CLOSE) {
                                                          std::lock_guard<std::mutex> lock(mutex);
                                                          closeReceived = true;
                                                          closed.notify_all();
                                                      }
                                                      return 0;
                                                  });
    if (!registered)
        return 2;
    std::unique_lock<std::mutex> lock(mutex);
    closed.wait_for(lock, std::chrono::seconds(60), [&] { return closeReceived; });
    lock.unlock();
    window.unregisterWindow();
    return closeReceived ? 0 : 1;
}
