// Owned byte blocks of the readers and writers.  They come from the same
// allocation seam as the library's arrays, so a failed request is an
// ordinary, reportable condition rather than an exception from operator new.
// A large input file may instead be a private mapping of the file itself.
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
    // A block of `size` bytes left as the heap gives them, for a caller that
    // writes every byte before anything reads it (a file read, a raster
    // copied in whole): fresh pages are then touched once, not zeroed and
    // written again.  Check ok() afterwards.
    static Buffer uninitialised(std::size_t size);
    // The first `size` bytes of the open file `fd`, mapped privately: the
    // pages are the system's cached copy of the file, so nothing is cleared
    // or copied, and a byte written is copied for this buffer alone.  An
    // empty buffer where the system cannot map the file.  The file must not
    // shrink while the buffer lives.
    static Buffer map_file(int fd, std::size_t size);
    ~Buffer();
    Buffer(Buffer &&o) noexcept
        : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)),
          offset_(std::exchange(o.offset_, 0)), mapped_(std::exchange(o.mapped_, 0)) {}
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
    // As resize, but bytes gained are left uninitialised (the caller fills
    // them before reading them).
    bool extend(std::size_t size);
    // The `size` bytes from `offset` on, keeping the whole block alive
    // underneath: a part of a block (the raster of a file read whole) is
    // handed on without a copy.  The range must lie inside the buffer; this
    // one is left empty.
    Buffer window(std::size_t offset, std::size_t size) &&;

private:
    bool grow(std::size_t size, bool zero);
    bool unmap();  // a mapping becomes a heap block with the same bytes
    void release();

    unsigned char *data_ = nullptr;  // first byte in use
    std::size_t size_ = 0;           // bytes in use from data_
    std::size_t offset_ = 0;         // data_ - start of the heap block or mapping
    std::size_t mapped_ = 0;         // bytes mapped from a file; 0: a heap block
};

}  // namespace ktvcli

#endif
