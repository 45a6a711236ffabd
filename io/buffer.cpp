#include "buffer.h"

#include <cstring>

#if defined(__unix__)
#include <sys/mman.h>
#endif

#include "vectorizer/memory.h"

namespace ktvcli {

Buffer::Buffer(std::size_t size) : data_(ktv::alloc_zeroed<unsigned char>(size)), size_(data_ ? size : 0) {}

Buffer Buffer::uninitialised(std::size_t size) {
    Buffer b;
    b.data_ = ktv::alloc_array<unsigned char>(size);
    b.size_ = b.data_ ? size : 0;
    return b;
}

Buffer Buffer::map_file(int fd, std::size_t size) {
    Buffer b;
#if defined(__unix__)
    if (size == 0) return b;
    void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) return b;
    b.data_ = static_cast<unsigned char *>(p);
    b.size_ = b.mapped_ = size;
#else
    (void)fd;
    (void)size;
#endif
    return b;
}

void Buffer::release() {
    if (!data_) return;
#if defined(__unix__)
    if (mapped_) {
        ::munmap(data_ - offset_, mapped_);
        return;
    }
#endif
    ktv::mem_free(data_ - offset_);
}

Buffer::~Buffer() { release(); }

Buffer &Buffer::operator=(Buffer &&o) noexcept {
    if (this != &o) {
        release();
        data_ = std::exchange(o.data_, nullptr);
        size_ = std::exchange(o.size_, 0);
        offset_ = std::exchange(o.offset_, 0);
        mapped_ = std::exchange(o.mapped_, 0);
    }
    return *this;
}

bool Buffer::unmap() {
    unsigned char *p = ktv::alloc_array<unsigned char>(size_);
    if (!p) return false;
    std::memcpy(p, data_, size_);
    release();
    data_ = p;
    offset_ = mapped_ = 0;
    return true;
}

bool Buffer::grow(std::size_t size, bool zero) {
    if (mapped_ && data_ && !unmap()) return false;
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
