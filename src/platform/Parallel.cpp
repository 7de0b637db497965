// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace parallel {

int Threads()
{
    static const int threads = [] {
        const unsigned hw = std::thread::hardware_concurrency();
        return static_cast<int>(std::clamp(hw, 1u, 8u));
    }();
    return threads;
}

namespace {

// One call of For: its parts but the caller's are offered to the pool, and
// whoever comes first (a worker, or the caller once its own part is done)
// claims the next one. So a call never waits for a part that nobody has
// started, and a For inside a part cannot deadlock on a busy pool.
struct Job
{
    const std::function<void(int, int)>* body;
    int begin;
    int n;
    int parts;
    std::atomic<int> next{0};     // the next offered part to claim
    std::atomic<int> finished{0}; // offered parts that have ended
    std::vector<std::exception_ptr> errors;
    std::mutex mutex;
    std::condition_variable allDone;

    int bound(int p) const { return begin + static_cast<int>(static_cast<long long>(n) * p / parts); }

    void run(int p)
    {
        try {
            (*body)(bound(p), bound(p + 1));
        } catch (...) {
            errors[static_cast<size_t>(p)] = std::current_exception();
        }
    }

    // Runs one offered part if any is left; false when all were claimed.
    bool runOne()
    {
        const int p = next.fetch_add(1);
        if (p >= parts - 1) return false;
        run(p);
        if (finished.fetch_add(1) + 1 == parts - 1) {
            const std::lock_guard lock(mutex);
            allDone.notify_all();
        }
        return true;
    }
};

// Threads started once and kept: a search of a million listings calls For
// some thirty times, and each call would otherwise start and join threads.
class Pool
{
public:
    Pool()
    {
        const int workers = Threads() - 1;
        for (int i = 0; i < workers; ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~Pool()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    // Offers the job's parts but the last: one entry for each, so that as
    // many workers as there are parts may take one.
    void offer(const std::shared_ptr<Job>& job)
    {
        {
            const std::lock_guard lock(m_mutex);
            for (int p = 0; p + 1 < job->parts; ++p)
                m_queue.push_back(job);
        }
        if (job->parts > 2)
            m_wake.notify_all();
        else
            m_wake.notify_one();
    }

private:
    void work()
    {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
                if (m_queue.empty()) return; // stopping
                job = std::move(m_queue.front());
                m_queue.pop_front();
            }
            job->runOne(); // nothing left when the caller took it already
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::shared_ptr<Job>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

Pool& pool()
{
    static Pool instance;
    return instance;
}

} // namespace

void For(int begin, int end, int grain, const std::function<void(int, int)>& body)
{
    const int n = end - begin;
    if (n <= 0) return;
    const int parts = std::clamp(n / std::max(grain, 1), 1, Threads());
    if (parts == 1) {
        body(begin, end);
        return;
    }
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->begin = begin;
    job->n = n;
    job->parts = parts;
    job->errors.resize(static_cast<size_t>(parts));
    pool().offer(job);
    job->run(parts - 1);
    while (job->runOne()) {
    }
    {
        std::unique_lock lock(job->mutex);
        job->allDone.wait(lock, [&] { return job->finished.load() == parts - 1; });
    }
    for (const std::exception_ptr& e : job->errors)
        if (e) std::rethrow_exception(e);
}

} // namespace parallel
