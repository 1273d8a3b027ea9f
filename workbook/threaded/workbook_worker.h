#pragma once
// One thread that owns a slow spreadsheet application and runs every call to it, in the order
// they were posted. The thread that posts never waits on it: it can ask how long the job now
// running has been at it, and so tell a spreadsheet that does not answer from one that is busy.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tivaro::workbook {

class WorkbookWorker {
public:
    using Clock = std::chrono::steady_clock;

    WorkbookWorker();
    // Runs what is still queued, for at most `stopLimit`; a job that does not end by then (an
    // application that hangs) is left behind with its thread, so that ending never hangs.
    ~WorkbookWorker();
    WorkbookWorker(const WorkbookWorker&) = delete;
    WorkbookWorker& operator=(const WorkbookWorker&) = delete;

    // Queues `job` behind the others; it may take up to `limit` before it counts as stuck.
    void post(std::function<void()> job,
              std::chrono::milliseconds limit = std::chrono::milliseconds(2'000));
    // Whether the job running now has taken longer than it may.
    bool overdue() const;
    // Waits until every job posted before is done, at most `limit`; whether they are. For the
    // end of a replay, tests and benchmarks, never for the window.
    bool drain(std::chrono::milliseconds limit);

    std::chrono::milliseconds stopLimit{10'000};

private:
    // Shared with the thread, which may outlive this object when let go of.
    struct State {
        mutable std::mutex mutex;
        std::condition_variable wake;
        std::condition_variable idle;
        struct Job {
            std::function<void()> run;
            std::chrono::milliseconds limit;
        };
        std::deque<Job> jobs;
        bool running = false;        // a job is running
        Clock::time_point deadline;  // of the job running
        bool stopping = false;
        bool finished = false;  // the thread left its loop
    };
    static void Run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

}  // namespace tivaro::workbook
