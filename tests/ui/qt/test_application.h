// Waiting on a condition while events are processed, for the Qt tests (whose main creates
// the QApplication).
#pragma once

#include <QTest>
#include <functional>

namespace comflash::ui::qt::test {

// Generous, since the sanitizers slow everything down; a passing test never waits this long.
constexpr int kEventWaitMs = 10000;

inline bool waitUntil(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, kEventWaitMs);
}

}  // namespace comflash::ui::qt::test
