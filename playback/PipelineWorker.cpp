#include "PipelineWorker.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

struct PipelineWorker::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool running = false;
    bool finishing = false;
    bool ended = false;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return !tasks.empty() || finishing; });
            if (tasks.empty())
                break;
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            running = true;
            lock.unlock();
            task();
            task = nullptr; // whatever the task held goes here, off the caller's thread
            lock.lock();
            running = false;
        }
        ended = true;
        changed.notify_all();
    }
};

PipelineWorker::PipelineWorker()
    : m_state(std::make_shared<State>()) {
    std::thread([state = m_state] { state->run(); }).detach();
}

PipelineWorker::~PipelineWorker() {
    finish(0);
}

void PipelineWorker::post(std::function<void()> task) {
    std::lock_guard lock(m_state->mutex);
    if (m_state->finishing)
        return;
    m_state->tasks.push_back(std::move(task));
    m_state->changed.notify_all();
}

bool PipelineWorker::busy() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->running || !m_state->tasks.empty();
}

bool PipelineWorker::finish(int waitMs) {
    std::unique_lock lock(m_state->mutex);
    m_state->finishing = true;
    m_state->changed.notify_all();
    return m_state->changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                                     [this] { return m_state->ended; });
}
