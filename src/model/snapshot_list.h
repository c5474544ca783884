// SnapshotList<T>: a list that one writer appends to while readers on other threads take O(1)
// snapshots of it. Appending costs the appended elements only (amortised), so a list that grows
// page by page costs the same per page however long it is.
//
// Elements live in a shared buffer with spare capacity; a snapshot keeps the buffer alive and sees
// the first n elements, which are never changed again. Appending past the capacity, replacing or
// removing builds a new buffer and leaves older snapshots on the old one.
// Thread-safe: every member may be called from any thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace dk {

template <typename T>
class SnapshotList {
  struct Buffer {
    std::vector<T> items;  // reserved up front; grows only within its capacity
  };

 public:
  // An immutable view of the list as it was.
  class Snapshot {
   public:
    Snapshot() = default;
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T& operator[](size_t i) const { return data_[i]; }
    const T& front() const { return data_[0]; }
    const T& back() const { return data_[size_ - 1]; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }
    std::vector<T> toVector() const { return std::vector<T>(begin(), end()); }

   private:
    friend class SnapshotList;
    Snapshot(std::shared_ptr<const Buffer> buffer, size_t size)
        : buffer_(std::move(buffer)), data_(buffer_ ? buffer_->items.data() : nullptr), size_(size) {}
    std::shared_ptr<const Buffer> buffer_;
    const T* data_ = nullptr;
    size_t size_ = 0;
  };

  Snapshot snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return Snapshot(buffer_, size_);
  }
  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return size_;
  }

  template <typename Iterator>
  void append(Iterator first, Iterator last) {
    const size_t count = static_cast<size_t>(std::distance(first, last));
    if (count == 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!buffer_ || size_ + count > buffer_->items.capacity()) {
      auto grown = std::make_shared<Buffer>();
      grown->items.reserve(std::max<size_t>(16, 2 * (size_ + count)));
      if (buffer_) grown->items.assign(buffer_->items.begin(), buffer_->items.begin() + static_cast<ptrdiff_t>(size_));
      buffer_ = std::move(grown);
    }
    // Within capacity: the elements readers may hold are neither moved nor touched.
    buffer_->items.insert(buffer_->items.end(), first, last);
    size_ += count;
  }

  void assign(std::vector<T> items) {
    auto fresh = std::make_shared<Buffer>();
    fresh->items = std::move(items);
    std::lock_guard<std::mutex> lock(mutex_);
    size_ = fresh->items.size();
    buffer_ = std::move(fresh);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<Buffer> buffer_;
  size_t size_ = 0;
};

}  // namespace dk
