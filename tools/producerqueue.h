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

#include <algorithm>
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

// How many parsers read a large file side by side: one a core, at most four; `sideParsers` set
// (by tests) decides instead.
inline int sideParsers = 0;
inline int parsersToUse() {
    if (sideParsers > 0) return sideParsers;
    return int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// Slots enough for `consumers` parsers that read pieces of `pieceBytes` from blocks of
// `blockBytes` to run up to a piece each apart; `fewest` for a single consumer.
inline std::size_t slotsFor(std::size_t consumers, std::uint64_t pieceBytes,
                            std::uint64_t blockBytes, std::size_t fewest) {
    if (consumers < 2) return fewest;
    return std::size_t(std::min<std::uint64_t>((consumers + 1) * pieceBytes / blockBytes, 64)) +
           fewest;
}

// Bytes handed from a reading stage to the parser, in room allocated once per slot.
struct ByteBlock {
    std::unique_ptr<char[]> room;
    qsizetype size = 0;
    std::uint64_t done = 0;  // how much of the input was read once these bytes were
    bool empty() const { return size == 0; }
    void clear() { size = 0; }
};

// T has clear() (keeping its room) and empty(). With more than one consumer, each takes every
// slot in turn, and a slot is filled again once all have let it go.
template <typename T>
class ProducerQueue {
  public:
    // `produce(slot)` fills a cleared slot on the queue's thread and returns whether more may
    // follow. A slot left with something in it is handed over, also when `produce` throws.
    ProducerQueue(std::size_t count, std::function<bool(T&)> produce, std::size_t consumers = 1)
        : slots_(count),
          produce_(std::move(produce)),
          taken_(consumers, 0),
          held_(consumers, 0),
          faulted_(consumers, false) {
        try {
            thread_ = std::thread([this] { run(); });
            threaded_ = true;
        } catch (const std::system_error&) {
            // No thread to be had (a process limit): next() fills the slots in turn, as slowly
            // as reading without one (one consumer only).
        }
    }
    ~ProducerQueue() { stop(); }
    ProducerQueue(const ProducerQueue&) = delete;
    ProducerQueue& operator=(const ProducerQueue&) = delete;

    // Whether the producer runs on a thread of its own.
    bool threaded() const { return threaded_; }
    // How many consumers take every slot.
    std::size_t consumers() const { return taken_.size(); }

    // The next slot, the consumer's until its next call; null after the last. Throws what the
    // producer threw once the slots before it are taken.
    T* next(std::size_t consumer = 0) {
        if (!threaded_) return produceHere();
        std::unique_lock lock(mutex_);
        held_[consumer] = 0;
        changed_.notify_all();
        std::uint64_t& taken = taken_[consumer];
        changed_.wait(lock, [&] { return produced_ > taken || ended_ || stopping_; });
        if (stopping_) return nullptr;
        if (produced_ == taken) {
            if (fault_ && !faulted_[consumer]) {
                faulted_[consumer] = true;
                std::rethrow_exception(fault_);
            }
            return nullptr;
        }
        T& slot = slots_[taken++ % slots_.size()];
        held_[consumer] = 1;
        return &slot;
    }

    // Stops the producer after the slot it is filling, if any, and waits for its thread; a
    // consumer waiting for a slot gets none.
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

    // Whether a slot is free: let go by every consumer.
    bool roomLeft() const {
        for (std::size_t c = 0; c < taken_.size(); ++c)
            if (produced_ - (taken_[c] - held_[c]) >= slots_.size()) return false;
        return true;
    }

    void run() {
        // Signals are the main thread's: its handler removes the output.
        const RemovedOnInterrupt::Hold mainThreadsOnly;
        for (bool more = true; more;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || roomLeft(); });
            if (stopping_) return;
            T& slot = slots_[produced_ % slots_.size()];
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
            produced_ += !slot.empty();
            ended_ = !more;
            fault_ = fault;
            changed_.notify_all();
        }
    }

    std::vector<T> slots_;
    std::function<bool(T&)> produce_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t produced_ = 0;        // slots filled so far; the next is produced_ % size
    std::vector<std::uint64_t> taken_;  // by each consumer so far
    std::vector<std::uint64_t> held_;   // 1 while a consumer holds the last slot it took
    std::vector<bool> faulted_;         // the fault was rethrown to it
    bool ended_ = false, stopping_ = false;
    std::exception_ptr fault_;
    bool threaded_ = false;  // the producer had a thread, stopped or not
    std::thread thread_;     // started once the rest is ready
};

}  // namespace velmora::mkdb
