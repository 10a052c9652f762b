// SPDX-License-Identifier: GPL-3.0-or-later
// A stage of a reader on a thread of its own: the producer fills a few reusable slots that the
// consumer takes in order, so inflating or decoding the next bytes runs on the second core while
// the current ones are parsed. Memory stays at the slots' size whatever the input's; the
// producer's fault reaches the consumer after the slots filled before it, so the first fault in
// the input is the one reported; the queue's end stops the producer and joins it, also when the
// consumer stops reading early.
#pragma once

#include "common/interruptcleanup.h"

#include <QtGlobal>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora::mkdb {

// Bytes handed from a reading stage to the parser, in room allocated once per slot.
struct ByteBlock {
    std::unique_ptr<char[]> room;
    qsizetype size = 0;
    std::uint64_t done = 0;  // how much of the input was read once these bytes were
    bool empty() const { return size == 0; }
    void clear() { size = 0; }
};

// T has clear() (keeping its room) and empty().
template <typename T>
class ProducerQueue {
  public:
    // `produce(slot)` fills a cleared slot on the queue's thread and returns whether more may
    // follow. A slot left with something in it is handed over, also when `produce` throws.
    ProducerQueue(std::size_t count, std::function<bool(T&)> produce)
        : slots_(count), produce_(std::move(produce)) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had (a process limit): next() fills the slots in turn, as slowly
            // as reading without one.
        }
    }
    ~ProducerQueue() { stop(); }
    ProducerQueue(const ProducerQueue&) = delete;
    ProducerQueue& operator=(const ProducerQueue&) = delete;

    // The next slot, the consumer's until the next call; null after the last. Throws what the
    // producer threw once the slots before it are taken.
    T* next() {
        if (!thread_.joinable()) return produceHere();
        std::unique_lock lock(mutex_);
        held_ = false;
        changed_.notify_all();
        changed_.wait(lock, [&] { return filled_ > 0 || ended_; });
        if (filled_ == 0) {
            if (fault_) std::rethrow_exception(std::exchange(fault_, nullptr));
            return nullptr;
        }
        T& slot = slots_[first_];
        first_ = (first_ + 1) % slots_.size();
        --filled_;
        held_ = true;
        return &slot;
    }

    // Stops the producer after the slot it is filling, if any, and waits for its thread.
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

  private:
    T* produceHere() {
        T& slot = slots_.front();
        slot.clear();
        if (!ended_) {
            try {
                ended_ = !produce_(slot);
            } catch (...) {
                fault_ = std::current_exception();
                ended_ = true;
            }
        }
        if (!slot.empty()) return &slot;
        if (fault_) std::rethrow_exception(std::exchange(fault_, nullptr));
        return nullptr;
    }

    void run() {
        // Signals are the main thread's: its handler removes the output.
        const RemovedOnInterrupt::Hold mainThreadsOnly;
        for (bool more = true; more;) {
            std::unique_lock lock(mutex_);
            changed_.wait(
                lock, [&] { return stopping_ || filled_ + std::size_t(held_) < slots_.size(); });
            if (stopping_) return;
            T& slot = slots_[(first_ + filled_) % slots_.size()];
            lock.unlock();
            std::exception_ptr fault;
            slot.clear();
            try {
                more = produce_(slot);
            } catch (...) {
                fault = std::current_exception();
                more = false;
            }
            lock.lock();
            filled_ += !slot.empty();
            ended_ = !more;
            fault_ = fault;
            changed_.notify_all();
        }
    }

    std::vector<T> slots_;
    std::function<bool(T&)> produce_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t first_ = 0;   // the oldest slot filled and not yet taken
    std::size_t filled_ = 0;  // how many are
    bool held_ = false;       // the slot before first_ is the consumer's
    bool ended_ = false, stopping_ = false;
    std::exception_ptr fault_;
    std::thread thread_;  // started once the rest is ready
};

}  // namespace velmora::mkdb
