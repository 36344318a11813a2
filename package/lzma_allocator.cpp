#include "package/lzma_allocator.h"

#include <cstdlib>

namespace {

void* Allocate(void*, size_t size) {
    return std::malloc(size);
}

void Release(void*, void* address) {
    std::free(address);
}

// The SDK's functions take a non-const pointer but never change it.
ISzAlloc heapAllocator = {Allocate, Release};

}  // namespace

ISzAlloc* LzmaHeapAllocator() {
    return &heapAllocator;
}
