// SPDX-License-Identifier: GPL-3.0-or-later
// The next blocks of an input made on a thread of its own while the consumer reads the one before:
// decoding and filtering a large XML file then costs the parser no time. A few reusable blocks, so
// memory stays the same whatever the input's size; a fault of the producer reaches the consumer
// after the blocks made before it, so the first fault in the input is the one reported.
#pragma once

#include "common/interruptcleanup.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

namespace velmora::mkdb {

// Block has clear() (keeping its room).
template <typename Block>
class ReadAhead {
  public:
    // `produce(block)` fills a cleared block and returns whether more follow.
    explicit ReadAhead(std::function<bool(Block&)> produce) : produce_(std::move(produce)) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had (a process limit): next() makes each block itself.
        }
    }
    ~ReadAhead() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next block, the consumer's until its next call; null after the last. Throws what the
    // producer threw once the blocks before it are taken.
    const Block* next() {
        if (!thread_.joinable()) return makeHere();
        std::unique_lock lock(mutex_);
        holding_ = false;
        changed_.notify_all();
        changed_.wait(lock, [&] { return made_ > taken_ || ended_; });
        if (made_ > taken_) {
            holding_ = true;
            return &blocks_[taken_++ % blocks_.size()];
        }
        if (fault_) std::rethrow_exception(std::exchange(fault_, nullptr));
        return nullptr;
    }

  private:
    const Block* makeHere() {
        if (ended_) return nullptr;
        Block& block = blocks_.front();
        block.clear();
        ended_ = !produce_(block);
        return &block;
    }

    void run() {
        // Signals are the main thread's: its handler removes the output.
        const RemovedOnInterrupt::Hold mainThreadsOnly;
        for (bool more = true; more;) {
            std::unique_lock lock(mutex_);
            // The blocks not yet taken and the one held are not to be filled again.
            changed_.wait(lock,
                          [&] { return stopping_ || made_ - taken_ + holding_ < blocks_.size(); });
            if (stopping_) return;
            Block& block = blocks_[made_ % blocks_.size()];
            lock.unlock();
            std::exception_ptr fault;
            block.clear();
            try {
                more = produce_(block);
            } catch (...) {
                fault = std::current_exception();
                more = false;
            }
            lock.lock();
            made_ += !fault;
            ended_ = !more;
            fault_ = fault;
            changed_.notify_all();
        }
    }

    std::function<bool(Block&)> produce_;
    std::array<Block, 3> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Blocks made and taken so far, counted from the first; block k is blocks_[k % 3], and the
    // consumer holds the one it took last until it asks for the next.
    std::uint64_t made_ = 0, taken_ = 0;
    bool holding_ = false;
    bool ended_ = false, stopping_ = false;
    std::exception_ptr fault_;
    std::thread thread_;  // started once the rest is ready
};

}  // namespace velmora::mkdb
