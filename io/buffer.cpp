#include "buffer.h"

#include <cstring>

#include "vectorizer/memory.h"

namespace ktvcli {

Buffer::Buffer(std::size_t size) : data_(ktv::alloc_zeroed<unsigned char>(size)), size_(data_ ? size : 0) {}

Buffer Buffer::uninitialised(std::size_t size) {
    Buffer b;
    b.data_ = ktv::alloc_array<unsigned char>(size);
    b.size_ = b.data_ ? size : 0;
    return b;
}

Buffer::~Buffer() {
    if (data_) ktv::mem_free(data_ - offset_);
}

Buffer &Buffer::operator=(Buffer &&o) noexcept {
    if (this != &o) {
        if (data_) ktv::mem_free(data_ - offset_);
        data_ = std::exchange(o.data_, nullptr);
        size_ = std::exchange(o.size_, 0);
        offset_ = std::exchange(o.offset_, 0);
    }
    return *this;
}

bool Buffer::grow(std::size_t size, bool zero) {
    // A window is moved to the front of its block first, so that the heap
    // sees the block it handed out.
    if (offset_ && data_) {
        std::memmove(data_ - offset_, data_, size_);
        data_ -= offset_;
        offset_ = 0;
    }
    unsigned char *p = zero ? ktv::grow_zeroed(data_, size_, size) : ktv::grow_array(data_, size);
    if (p) data_ = p;
    else if (size > size_) return false;
    // A shrink that could not move the block keeps the larger one: the
    // bytes past `size` are simply not used.
    size_ = size;
    return true;
}

bool Buffer::resize(std::size_t size) { return grow(size, true); }
bool Buffer::extend(std::size_t size) { return grow(size, false); }

Buffer Buffer::window(std::size_t offset, std::size_t size) && {
    Buffer part(std::move(*this));
    part.data_ += offset;
    part.offset_ += offset;
    part.size_ = size;
    return part;
}

}  // namespace ktvcli
