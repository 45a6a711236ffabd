// A growable array of plain records over the library's allocation seam.
// Growth failures are reported, never thrown: push() and resize() return
// false and leave the array as it was, so a stage can answer -1000 and the
// caller keeps a consistent object.
#ifndef KTVEC_REFINE_ARRAY_H
#define KTVEC_REFINE_ARRAY_H

#include <cstddef>
#include <type_traits>
#include <utility>

#include "vectorizer/memory.h"

namespace ktv::refine {

template <class T> class Array {
    static_assert(std::is_trivially_copyable<T>::value, "records only");

public:
    Array() = default;
    Array(const Array &) = delete;
    Array &operator=(const Array &) = delete;
    ~Array() { mem_free(data_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T *data() { return data_; }
    const T *data() const { return data_; }
    T &operator[](std::size_t i) { return data_[i]; }
    const T &operator[](std::size_t i) const { return data_[i]; }
    T &back() { return data_[size_ - 1]; }
    T *begin() { return data_; }
    T *end() { return data_ + size_; }
    const T *begin() const { return data_; }
    const T *end() const { return data_ + size_; }

    void clear() { size_ = 0; }
    void pop() { --size_; }
    void swap(Array &other) {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }
    // Room for at least n records; the contents stay.
    bool reserve(std::size_t n) {
        if (n <= capacity_) return true;
        T *grown = grow_array(data_, n);
        if (!grown) return false;
        data_ = grown;
        capacity_ = n;
        return true;
    }
    bool push(const T &value) {
        if (size_ == capacity_ && !reserve(capacity_ < 8 ? 8 : capacity_ * 2)) return false;
        data_[size_++] = value;
        return true;
    }
    // Adds a record only when there is room for it, and never asks for
    // memory: for worker threads, whose room the calling thread made.
    bool put(const T &value) {
        if (size_ == capacity_) return false;
        data_[size_++] = value;
        return true;
    }
    // n records, the new ones set to `fill`.
    bool resize(std::size_t n, const T &fill = T{}) {
        if (!reserve(n)) return false;
        for (std::size_t i = size_; i < n; ++i) data_[i] = fill;
        size_ = n;
        return true;
    }
    // Hands the block to the caller (who frees it with mem_free).
    T *release() {
        T *d = data_;
        data_ = nullptr;
        size_ = capacity_ = 0;
        return d;
    }

private:
    T *data_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
};

}  // namespace ktv::refine

#endif
