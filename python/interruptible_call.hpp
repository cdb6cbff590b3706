#pragma once

// A long library call that Ctrl-C can stop. The work runs on a worker
// thread; the calling thread waits with the GIL released, and every few
// milliseconds takes it back for a moment to let Python run its signal
// handlers. When one raises (KeyboardInterrupt), the call returns with that
// exception at once and the worker is left to finish on its own: it owns
// everything it touches (the work's captures and the shared state), so
// nothing it uses is freed under it, and what it computes is dropped.
#include <pybind11/pybind11.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

template <class Work>
auto interruptible_call(Work work) -> decltype(work())
{
    using Result = decltype(work());
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::optional<Result> result;
        std::exception_ptr failure;
    };
    auto shared = std::make_shared<Shared>();
    std::thread worker([shared, work = std::move(work)]() mutable {
        std::optional<Result> result;
        std::exception_ptr failure;
        try {
            result.emplace(work());
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->failure = failure;
        shared->done = true;
        shared->finished.notify_all();
    });
    bool interrupted = false;
    {
        const pybind11::gil_scoped_release release;
        std::unique_lock lock(shared->mutex);
        while (!shared->finished.wait_for(lock, std::chrono::milliseconds(5), [&] { return shared->done; })) {
            lock.unlock();
            {
                const pybind11::gil_scoped_acquire hold;
                interrupted = PyErr_CheckSignals() != 0;
            }
            if (interrupted) {
                break;
            }
            lock.lock();
        }
    }
    if (interrupted) {
        worker.detach();
        throw pybind11::error_already_set();
    }
    worker.join();
    if (shared->failure) {
        std::rethrow_exception(shared->failure);
    }
    return std::move(*shared->result);
}
