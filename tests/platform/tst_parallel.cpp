// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Parallel.h"

#include <QTest>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

class TestParallel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every index is visited once, in parts within the range, and the part
    // holding the end runs on the calling thread, call after call.
    void everyIndexOnceTheCallerTakingTheLast_data()
    {
        QTest::addColumn<int>("begin");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("grain");
        QTest::newRow("shorter than a grain") << 0 << 10 << 100;
        QTest::newRow("a few parts") << 5 << 1005 << 100;
        QTest::newRow("more parts than threads") << -300 << 100000 << 1;
        QTest::newRow("empty") << 7 << 7 << 1;
    }
    void everyIndexOnceTheCallerTakingTheLast()
    {
        QFETCH(int, begin);
        QFETCH(int, end);
        QFETCH(int, grain);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::atomic<int>> seen(size_t(std::max(0, end - begin)));
            std::atomic<bool> lastHere{begin == end}, outside{false};
            const auto caller = std::this_thread::get_id();
            parallel::For(begin, end, grain, [&](int b, int e) {
                if (b < begin || b >= e || e > end) outside = true;
                for (int i = b; i < e; ++i)
                    ++seen[size_t(i - begin)];
                if (e == end) lastHere = std::this_thread::get_id() == caller;
            });
            QVERIFY(!outside);
            for (const std::atomic<int>& s : seen)
                QCOMPARE(s.load(), 1);
            QVERIFY(lastHere);
        }
    }

    // A part's exception reaches the caller after every part has ended, and the
    // threads serve the next call.
    void exceptionReachesTheCallerAfterAllParts()
    {
        constexpr int n = 64;
        std::atomic<int> ended{0};
        try {
            parallel::For(0, n, 1, [&](int b, int e) {
                const bool throws = b == 0;
                if (!throws) { // work long enough to end after the throw
                    volatile unsigned spin = 0;
                    for (int i = 0; i < 2000000; ++i)
                        spin = spin + unsigned(i);
                }
                ended += e - b;
                if (throws) throw std::runtime_error("part");
            });
            QFAIL("no exception");
        } catch (const std::runtime_error& e) {
            QCOMPARE(QByteArray(e.what()), QByteArray("part"));
        }
        QCOMPARE(ended.load(), n);
        std::atomic<int> sum{0};
        parallel::For(0, n, 1, [&](int b, int e) { sum += e - b; });
        QCOMPARE(sum.load(), n);
    }

    // Calls inside parts (every thread busy with an outer part) end, and visit
    // everything once.
    void nestedCallsEnd()
    {
        constexpr int outer = 16, inner = 1000;
        std::vector<std::atomic<int>> seen(size_t(outer * inner));
        parallel::For(0, outer, 1, [&](int b, int e) {
            for (int o = b; o < e; ++o)
                parallel::For(0, inner, 10, [&](int ib, int ie) {
                    for (int i = ib; i < ie; ++i)
                        ++seen[size_t(o * inner + i)];
                });
        });
        for (const std::atomic<int>& s : seen)
            QCOMPARE(s.load(), 1);
    }
};

QTEST_GUILESS_MAIN(TestParallel)
#include "tst_parallel.moc"
