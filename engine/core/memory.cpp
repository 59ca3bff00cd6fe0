#include "core/core.h"

#include <cstdio>
#include <cstdlib>

namespace kvor3d {

void* MemAlloc(uint32_t count, uint32_t size)
{
    uint64_t bytes = uint64_t(count) * size;
    if (bytes > UINT32_MAX)
        return nullptr;
    return MemAllocClear(size_t(bytes));
}

void* MemAllocClear(size_t size)
{
    return std::calloc(size, 1);
}

void MemFree(void* block)
{
    std::free(block);
}

void MemCopy(void* dst, const void* src, int32_t n)
{
    if (n > 0)
        std::memcpy(dst, src, size_t(n));
}

void MemFill(void* dst, uint8_t value, int32_t n)
{
    if (n > 0)
        std::memset(dst, value, size_t(n));
}

void PrintText(const char* s)
{
    std::printf("%s", s);
}

}  // namespace kvor3d
