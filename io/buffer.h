// Owned byte blocks of the readers and writers.  They come from the same
// allocation seam as the library's arrays, so a failed request is an
// ordinary, reportable condition rather than an exception from operator new.
#ifndef KTVEC_IO_BUFFER_H
#define KTVEC_IO_BUFFER_H

#include <cstddef>
#include <utility>

namespace ktvcli {

class Buffer {
public:
    Buffer() = default;
    // A zero-filled block of `size` bytes; check ok() afterwards.
    explicit Buffer(std::size_t size);
    ~Buffer();
    Buffer(Buffer &&o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
    Buffer &operator=(Buffer &&o) noexcept;
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    bool ok() const { return data_ != nullptr; }
    unsigned char *data() { return data_; }
    const unsigned char *data() const { return data_; }
    std::size_t size() const { return size_; }
    // Grows or shrinks the block, zero-filling new bytes; false (block
    // unchanged) when memory for growing cannot be obtained.  Shrinking
    // always succeeds.
    bool resize(std::size_t size);

private:
    unsigned char *data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace ktvcli

#endif
