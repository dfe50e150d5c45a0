#include "common/InvokeContext.h"

#include "TestUtil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

using testutil::waitFor;

namespace {

struct Worker
{
    QThread thread;
    ~Worker()
    {
        thread.quit();
        thread.wait();
    }
};

} // namespace

TEST(ThreadPosting, RunsOnTheNamedThreadInOrder)
{
    Worker w;
    InvokeContext ctx;
    std::mutex m;
    std::vector<int> order;
    std::vector<QThread*> seen;
    QThread* gui = QCoreApplication::instance()->thread();

    runInWorkerThread(&w.thread, nullptr);
    for (int i = 0; i < 50; ++i) {
        runInWorkerThread(&w.thread, [&, i]() {
            std::lock_guard<std::mutex> l(m);
            order.push_back(i);
            seen.push_back(QThread::currentThread());
        });
    }
    ASSERT_TRUE(waitFor([&]() { std::lock_guard<std::mutex> l(m); return order.size() == 50; }, testutil::hangLimitMs));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[size_t(i)], i);
        EXPECT_EQ(seen[size_t(i)], &w.thread);
    }

    // From the worker back to the GUI thread through the holder.
    std::atomic<QThread*> back{nullptr};
    runInWorkerThread(&w.thread, [&]() { ctx.post([&]() { back = QThread::currentThread(); }, gui); });
    ASSERT_TRUE(waitFor([&]() { return back.load() != nullptr; }, testutil::hangLimitMs));
    EXPECT_EQ(back.load(), gui);
}

TEST(ThreadPosting, OneReceiverPerThreadIsNeverMoved)
{
    Worker a, b;
    a.thread.start();
    b.thread.start();
    InvokeContext ctx;
    QObject* ra = ctx.context(&a.thread);
    QObject* rb = ctx.context(&b.thread);
    EXPECT_NE(ra, rb);
    EXPECT_EQ(ra->thread(), &a.thread);
    EXPECT_EQ(rb->thread(), &b.thread);

    // Interleaved posts to two threads each land on their own thread.
    std::atomic<int> wrong{0}, done{0};
    for (int i = 0; i < 200; ++i) {
        QThread* target = (i % 2) ? &a.thread : &b.thread;
        ctx.post([&, target]() {
            if (QThread::currentThread() != target)
                ++wrong;
            ++done;
        }, target);
    }
    ASSERT_TRUE(waitFor([&]() { return done == 200; }, testutil::hangLimitMs));
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(ctx.context(&a.thread), ra);
    EXPECT_EQ(ra->thread(), &a.thread);
}

TEST(ThreadPosting, NotStartedThreadGetsCallsOnceItRuns)
{
    Worker w;
    std::atomic<int> ran{0};
    std::atomic<QThread*> where{nullptr};
    postMovedToThread([&]() { where = QThread::currentThread(); ++ran; }, &w.thread);
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.load(), 0);
    w.thread.start();
    // A call posted after it runs after it, there.
    std::atomic<bool> later{false};
    postMovedToThread([&]() { later = true; }, &w.thread);
    ASSERT_TRUE(waitFor([&]() { return later.load(); }, testutil::hangLimitMs));
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(where.load(), &w.thread);
}

TEST(ThreadPosting, DeletedContextDropsPendingCalls)
{
    int ran = 0;
    QThread* gui = QThread::currentThread();
    {
        auto ctx = std::make_unique<InvokeContext>();
        for (int i = 0; i < 5; ++i)
            ctx->post([&]() { ++ran; }, gui);
        ctx->postDelayed([&]() { ++ran; }, 10, gui);
    }
    // A holder made afterwards: its delayed call comes after theirs would have.
    bool later = false;
    {
        InvokeContext after;
        after.postDelayed([&]() { later = true; }, 10, gui);
        ASSERT_TRUE(waitFor([&]() { return later; }, testutil::hangLimitMs));
    }
    EXPECT_EQ(ran, 0);

    // Also for a holder whose worker-thread calls have not run yet.
    Worker w;
    std::atomic<int> workerRan{0};
    {
        InvokeContext ctx;
        ctx.post([&]() { ++workerRan; }, &w.thread);
    }
    w.thread.start();
    std::atomic<bool> workerLater{false};
    {
        InvokeContext after;
        after.post([&]() { workerLater = true; }, &w.thread);
        ASSERT_TRUE(waitFor([&]() { return workerLater.load(); }, testutil::hangLimitMs));
    }
    EXPECT_EQ(workerRan.load(), 0);
}

TEST(ThreadPosting, PostDelayedFromWorkerWaits)
{
    Worker w;
    InvokeContext ctx;
    QThread* gui = QThread::currentThread();
    QElapsedTimer timer;
    std::atomic<qint64> elapsed{-1};
    std::atomic<QThread*> where{nullptr};
    timer.start();
    runInWorkerThread(&w.thread, [&]() {
        ctx.postDelayed([&]() {
            elapsed = timer.elapsed();
            where = QThread::currentThread();
        }, 500, gui);
    });
    ASSERT_TRUE(waitFor([&]() { return elapsed >= 0; }, testutil::hangLimitMs));
    EXPECT_GE(elapsed.load(), 500);
    EXPECT_EQ(where.load(), gui);
}

TEST(ThreadPosting, QuitThreadThen)
{
    // Never started: runs at once, in the caller's thread.
    QThread idle;
    bool ranNow = false;
    quitThreadThen(&idle, [&]() { ranNow = true; });
    EXPECT_TRUE(ranNow);
    EXPECT_THROW(quitThreadThen(&idle, nullptr), std::bad_function_call);

    QThread t;
    std::atomic<bool> workDone{false};
    runInWorkerThread(&t, [&]() {
        QThread::msleep(50);
        workDone = true;
    });
    int finals = 0;
    bool finishedFirst = false;
    QThread* ranIn = nullptr;
    quitThreadThen(&t, [&]() {
        ++finals;
        finishedFirst = workDone.load();
        ranIn = QThread::currentThread();
    });
    ASSERT_TRUE(waitFor([&]() { return finals == 1; }, testutil::hangLimitMs));
    EXPECT_TRUE(finishedFirst);
    EXPECT_EQ(ranIn, QThread::currentThread());

    // The connection is gone: another start and quit calls nothing.
    t.start();
    t.quit();
    t.wait();
    QCoreApplication::processEvents();
    EXPECT_EQ(finals, 1);
}

TEST(ThreadPosting, ReceiverOfAQuitThreadDiesWithTheThread)
{
    // A model posts its worker jobs through its own receiver and ends the
    // thread with quitThreadThen; the thread object goes before the holder.
    InvokeContext ctx;
    auto* thread = new QThread;
    QObject* receiver = ctx.context(thread);
    bool receiverGone = false;
    QObject::connect(receiver, &QObject::destroyed, [&]() { receiverGone = true; });
    std::atomic<bool> ran{false};
    runInWorkerThread(thread, [&]() { ran = true; }, receiver);
    bool quit = false;
    quitThreadThen(thread, [&]() { quit = true; });
    ASSERT_TRUE(waitFor([&]() { return quit; }, testutil::hangLimitMs));
    EXPECT_TRUE(ran.load());
    thread->wait();
    delete thread;
    EXPECT_TRUE(receiverGone);
    // A new thread may reuse the address: it gets a receiver of its own.
    QThread next;
    EXPECT_EQ(ctx.context(&next)->thread(), &next);
}
