#pragma once
// The heap allocator that the LZMA SDK's encoder and decoder take for their state; the updater's
// decoder, the release tool's encoder and the tests' package maker share it.

#include "Types.h"

// malloc and free behind the SDK's allocator interface.
ISzAlloc* LzmaHeapAllocator();
