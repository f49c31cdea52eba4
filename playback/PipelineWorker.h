#pragma once

#include <functional>
#include <memory>

// Runs one pipeline's state changes, in order, on a thread of its own. A sink can hang inside a
// state change for as long as its sound server does not answer; that holds up this thread only,
// never the caller. The thread is never joined: once finished, it ends by itself after its last
// task, however long that takes.
class PipelineWorker {
public:
    PipelineWorker();
    // Finishes without waiting.
    ~PipelineWorker();
    PipelineWorker(const PipelineWorker &) = delete;
    PipelineWorker &operator=(const PipelineWorker &) = delete;

    void post(std::function<void()> task);
    // A task is queued or running.
    bool busy() const;
    // Takes no more tasks; the thread ends after the queued ones. Waits up to `waitMs` for that
    // and tells whether it has ended.
    bool finish(int waitMs);

private:
    struct State;
    std::shared_ptr<State> m_state;
};
