// How the server's window thread takes calls from the worker and the window interface's thread. Run under
// ThreadSanitizer too: each call carries data made on the thread that posts it, so a hand-over that build cannot
// follow shows up as a race here, as it did in the running server.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "commserver/app/WindowThreadCalls.h"

namespace {

class WindowThreadCallsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "commserver_tests";
            static char* argv[] = {name, nullptr};
            static QCoreApplication app(argc, argv);
        }
    }
    // Runs the window thread's loop until done() holds (false when it did not within the limit).
    template <class F> static bool RunUntil(F done, int ms = 60000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
};

TEST_F(WindowThreadCallsTest, CallsFromOtherThreadsRunOnTheWindowThreadEachThreadsInTheOrderPosted) {
    WindowThreadCalls calls;
    constexpr int kThreads = 4;
    constexpr int kEach = 400;
    // Touched by the calls alone, so only on the window thread.
    std::vector<std::vector<int>> seen(kThreads);
    int offThread = 0;
    int made = 0;
    QThread* const windowThread = QThread::currentThread();
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                // Data made here and read there, as a window message's bytes are.
                auto text = std::make_unique<std::string>(std::to_string(t) + ":" + std::to_string(i));
                calls.Post([&, t, text = std::shared_ptr<std::string>(std::move(text))] {
                    offThread += QThread::currentThread() != windowThread ? 1 : 0;
                    seen[static_cast<std::size_t>(t)].push_back(std::stoi(text->substr(text->find(':') + 1)));
                    ++made;
                });
            }
        });
    const bool all = RunUntil([&] { return made == kThreads * kEach; });
    for (auto& p : posters)
        p.join();
    ASSERT_TRUE(all) << made << " of " << kThreads * kEach << " calls were made";
    EXPECT_EQ(offThread, 0);
    for (int t = 0; t < kThreads; ++t) {
        std::vector<int> expected(kEach);
        for (int i = 0; i < kEach; ++i)
            expected[static_cast<std::size_t>(i)] = i;
        EXPECT_EQ(seen[static_cast<std::size_t>(t)], expected) << "thread " << t;
    }
    // Nothing is made twice once the loop has drained.
    QCoreApplication::processEvents();
    EXPECT_EQ(made, kThreads * kEach);
}

// A call that runs a loop of its own (a modal box waiting for the operator) does not hold back what is posted
// after it: a close from another program still reaches the window then.
TEST_F(WindowThreadCallsTest, ACallThatRunsALoopOfItsOwnDoesNotHoldBackTheCallsAfterIt) {
    WindowThreadCalls calls;
    QEventLoop* modal = nullptr;
    bool closedInside = false;
    bool first = false;
    calls.Post([&] {
        QEventLoop loop;
        modal = &loop;
        // The limit only ends a test that failed; it proves nothing.
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        modal = nullptr;
        first = true;
    });
    std::thread other([&] {
        calls.Post([&] {
            closedInside = modal != nullptr;
            if (modal)
                modal->quit();
        });
    });
    ASSERT_TRUE(RunUntil([&] { return first; }));
    other.join();
    EXPECT_TRUE(closedInside);
}

TEST_F(WindowThreadCallsTest, CallsNotYetMadeWhenTheReceiverGoesAreDropped) {
    bool made = false;
    {
        WindowThreadCalls calls;
        std::thread([&] { calls.Post([&] { made = true; }); }).join();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(made);
}

} // namespace
