#include "WorkerPool.h"

#include <algorithm>

namespace hnasgwsim {

WorkerPool::WorkerPool(std::size_t maxWorkers)
    : maxWorkers_(std::max<std::size_t>(1, maxWorkers)) {}

WorkerPool::~WorkerPool() {
    shutdown();
}

void WorkerPool::enqueue(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) {
        // Too late for a worker: serve (and so close) the connection here.
        lock.unlock();
        task();
        return;
    }
    tasks_.push_back(std::move(task));
    // A task beyond the idle workers gets a new worker while the limit allows;
    // past it, the task waits for the next worker to finish.
    if (tasks_.size() > idle_ && workers_.size() < maxWorkers_)
        workers_.emplace_back([this] { work(); });
    else
        wake_.notify_one();
}

void WorkerPool::shutdown() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        workers.swap(workers_);
    }
    wake_.notify_all();
    for (auto& worker : workers)
        worker.join();
}

void WorkerPool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return !tasks_.empty() || stopping_; });
        --idle_;
        // Queued connections are still served at shutdown, as the server
        // closes them.
        if (tasks_.empty())
            return;
        auto task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

} // namespace hnasgwsim
