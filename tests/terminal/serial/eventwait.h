// Waits for the serial component's tests: on a condition while the event loop runs (the way
// handlers get to run), on a condition without it (so that no handler runs meanwhile), and
// until every event posted so far has been handled. The deadlines are generous: a condition
// holds long before them, also on a loaded machine, and they only bound a failing test.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QTest>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace testsupport {

constexpr int kGenerousMs = 10000;

// Runs the event loop until the condition holds; false when the time ran out.
inline bool Eventually(const std::function<bool()>& condition, int ms = kGenerousMs)
{
    return QTest::qWaitFor(condition, ms);
}

// Waits until the condition holds without running the event loop; false when the time ran
// out.
inline bool WithoutEventLoopUntil(const std::function<bool()>& condition, int ms = kGenerousMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs the event loop until every event posted before the call has been handled (posted
// events run in order): a hand-over a wait thread queued before then has run by now, or
// never will.
inline bool DrainPostedEvents()
{
    auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [reached] { *reached = true; }, Qt::QueuedConnection);
    return Eventually([reached] { return *reached; });
}

}  // namespace testsupport
