#pragma once
#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

// Calls handed to the window thread by the server's other threads (the link worker, the window interface's
// thread), made there one by one in the order they were handed over.
//
// A queued Qt call of a lambda would do the same, but it shares the lambda's object between the two threads
// under a reference count kept inside the Qt library, and whichever thread lets go of it last deletes it. The
// ThreadSanitizer build sees neither side of that count (the library is not built with it), so it takes the
// delete on the posting thread for a race with the call on the window thread and stops the program in the
// middle of a transfer. Here a call passes under a mutex of our own and the window thread is woken through an
// event descriptor it watches: a hand-over that build follows, and each call is made and destroyed on the
// window thread alone.
class WindowThreadCalls : public QObject {
    Q_OBJECT
public:
    // Made on the window thread.
    explicit WindowThreadCalls(QObject* parent = nullptr);
    ~WindowThreadCalls() override;
    WindowThreadCalls(const WindowThreadCalls&) = delete;
    WindowThreadCalls& operator=(const WindowThreadCalls&) = delete;

    // From any thread, the window thread included. Calls not yet made when the object goes are dropped.
    void Post(std::function<void()> call);

private:
    Q_INVOKABLE void runPosted();

    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};
