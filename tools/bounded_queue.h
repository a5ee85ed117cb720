#pragma once
// A small first-in first-out queue between two threads: Push waits while it is full, Pop while
// it is empty; Close wakes both sides for good (Pop still drains what is left).
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace orvexcli {

template <typename T>
class BoundedQueue {
public:
    explicit BoundedQueue(size_t capacity) : capacity_(capacity) {}

    // False when the queue was closed (the item is not taken).
    bool Push(T item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notFull_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) return false;
        items_.push_back(std::move(item));
        notEmpty_.notify_one();
        return true;
    }
    // False when the queue is closed and empty.
    bool Pop(T* item) {
        std::unique_lock<std::mutex> lock(mutex_);
        notEmpty_.wait(lock, [&] { return closed_ || !items_.empty(); });
        if (items_.empty()) return false;
        *item = std::move(items_.front());
        items_.pop_front();
        notFull_.notify_one();
        return true;
    }
    void Close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        notEmpty_.notify_all();
        notFull_.notify_all();
    }

private:
    size_t capacity_;
    std::mutex mutex_;
    std::condition_variable notEmpty_, notFull_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace orvexcli
