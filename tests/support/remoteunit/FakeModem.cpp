#include "remoteunit/FakeModem.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

void FakeModem::Start() {
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void FakeModem::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void FakeModem::run() {
    std::string line;
    auto send = [this](const std::string& text) {
        std::size_t off = 0;
        for (int tries = 0; off < text.size() && tries < 1000; ++tries) {
            const ssize_t n = ::write(fd_, text.data() + off, text.size() - off);
            if (n > 0)
                off += static_cast<std::size_t>(n);
            else
                ::usleep(1000);
        }
    };
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n <= 0)
            continue;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n')
                continue;
            if (c != '\r') {
                line += c;
                continue;
            }
            std::string reply = "OK";
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(line);
                if (auto it = replies_.find(line); it != replies_.end())
                    reply = it->second;
            }
            if (echo_)
                send(line + "\r");
            if (!reply.empty())
                send("\r\n" + reply + "\r\n");
            line.clear();
        }
    }
}
