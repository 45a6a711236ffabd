// How the program sets up glibc's heap for the way it uses memory.  The
// library never changes a setting of its host's process; the program owns
// its process and may.
#ifndef KTVEC_TOOLS_HEAP_H
#define KTVEC_TOOLS_HEAP_H

namespace ktvcli {

// For the program's own process, once at its start, before any thread: the
// heap keeps freed blocks of up to 32 MB for reuse, and the first 256 MB it
// grows into are backed by transparent huge pages (see heap.cpp).  Nothing
// happens where the C library or the system cannot do it.
void heap_on_huge_pages();

// Keeps the blocks of a few megabytes that every image allocates in the
// process's heap, reused from image to image, instead of mapped afresh for
// each (see heap.cpp).  For processes that vectorize image after image.
void keep_blocks_in_heap();

}  // namespace ktvcli

#endif
