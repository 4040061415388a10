#pragma once

// The simulator's workers: cpp-httplib hands each accepted connection to its
// task queue as one task that serves the connection's requests until it
// closes, so a worker is busy for as long as a client keeps its connection.
// This queue starts a worker whenever a connection arrives and none is idle,
// up to a limit, and keeps the workers it started for the next connections:
// a client with many connections open at once (a parallel walk) is served on
// all of them, each request on its own worker, latency faults included.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace hnasgwsim {

class WorkerPool : public httplib::TaskQueue {
public:
    explicit WorkerPool(std::size_t maxWorkers);
    ~WorkerPool() override;

    void enqueue(std::function<void()> task) override;
    void shutdown() override;

private:
    void work();

    const std::size_t maxWorkers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> workers_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
};

} // namespace hnasgwsim
