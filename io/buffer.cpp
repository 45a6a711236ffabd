#include "buffer.h"

#include "vectorizer/memory.h"

namespace ktvcli {

Buffer::Buffer(std::size_t size) : data_(ktv::alloc_zeroed<unsigned char>(size)), size_(data_ ? size : 0) {}

Buffer::~Buffer() { ktv::mem_free(data_); }

Buffer &Buffer::operator=(Buffer &&o) noexcept {
    if (this != &o) {
        ktv::mem_free(data_);
        data_ = std::exchange(o.data_, nullptr);
        size_ = std::exchange(o.size_, 0);
    }
    return *this;
}

bool Buffer::resize(std::size_t size) {
    unsigned char *p = ktv::grow_zeroed(data_, size_, size);
    if (p) data_ = p;
    else if (size > size_) return false;
    // A shrink that could not move the block keeps the larger one: the
    // bytes past `size` are simply not used.
    size_ = size;
    return true;
}

}  // namespace ktvcli
