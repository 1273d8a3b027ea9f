#include "workbook/threaded/workbook_worker.h"

namespace tivaro::workbook {

WorkbookWorker::WorkbookWorker()
    : state_(std::make_shared<State>()), thread_([state = state_] { Run(state); }) {}

WorkbookWorker::~WorkbookWorker() {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
    const bool ended = state_->idle.wait_for(lock, stopLimit, [this] { return state_->finished; });
    lock.unlock();
    if (ended) {
        thread_.join();
        return;
    }
    // The application does not answer: its thread is let go of, with what its jobs hold.
    thread_.detach();
}

void WorkbookWorker::post(std::function<void()> job, std::chrono::milliseconds limit) {
    std::lock_guard lock(state_->mutex);
    state_->jobs.push_back({std::move(job), limit});
    state_->wake.notify_one();
}

bool WorkbookWorker::overdue() const {
    std::lock_guard lock(state_->mutex);
    return state_->running && Clock::now() > state_->deadline;
}

bool WorkbookWorker::drain(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_->mutex);
    return state_->idle.wait_for(lock, limit, [this] {
        return state_->finished || (state_->jobs.empty() && !state_->running);
    });
}

void WorkbookWorker::Run(const std::shared_ptr<State>& state) {
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stopping || !state->jobs.empty(); });
        if (state->jobs.empty()) {
            break;  // stopping, and everything posted is done
        }
        std::function<void()> job = std::move(state->jobs.front().run);
        state->deadline = Clock::now() + state->jobs.front().limit;
        state->jobs.pop_front();
        state->running = true;
        lock.unlock();
        job();
        job = nullptr;  // what the job held is let go of on this thread
        lock.lock();
        state->running = false;
        if (state->jobs.empty()) {
            state->idle.notify_all();
        }
    }
    state->finished = true;
    state->idle.notify_all();
}

}  // namespace tivaro::workbook
