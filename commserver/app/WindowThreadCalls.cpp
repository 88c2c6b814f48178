#include "commserver/app/WindowThreadCalls.h"

#include <QSocketNotifier>

#include <cstdint>

#include <sys/eventfd.h>
#include <unistd.h>

WindowThreadCalls::WindowThreadCalls(QObject* parent) : QObject(parent) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ >= 0) {
        notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &WindowThreadCalls::runPosted);
    }
}

WindowThreadCalls::~WindowThreadCalls() {
    delete notifier_;
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void WindowThreadCalls::Post(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
    } else {
        // No descriptor could be had: a queued call by name, which shares no object between the threads.
        QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
    }
}

void WindowThreadCalls::runPosted() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) {
                // Cleared under the lock: a call posted after this wakes the thread again.
                if (wakeFd_ >= 0) {
                    std::uint64_t count = 0;
                    [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
                }
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        // The descriptor stays set while calls wait, so a loop that a call runs (a modal box) makes them too.
        call();
    }
}
