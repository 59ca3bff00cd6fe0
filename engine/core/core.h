// Engine core: tag lists, byte order, memory, copy/fill, text output and the
// tick timer. Every other subsystem builds on these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvor3d {

// ---- Tag lists -------------------------------------------------------------

// One (tag, value) pair. Tags have the form 0x803dGGNN: GG names the consumer
// group, NN the item. `data` holds an integer, a pointer or a float's bits.
struct TagItem {
    uint32_t tag;
    uintptr_t data;
};

constexpr uint32_t TAG_DONE = 0;  // ends a list; its data is ignored
constexpr uint32_t TAG_MORE = 2;  // data points to the list that continues this one

// A float passed by value in a tag travels as its 32-bit pattern.
inline uintptr_t TagFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float TagDataFloat(uintptr_t data)
{
    uint32_t bits = static_cast<uint32_t>(data);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// A pointer passed in a tag.
template <typename T>
inline uintptr_t TagPtr(T* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

// First item whose tag is `id`, following TAG_MORE links; null when absent.
const TagItem* FindTag(uint32_t id, const TagItem* list);

// Data of the first item whose tag is `id` in this array only (TAG_MORE is not
// followed); `defaultValue` when absent.
uintptr_t GetTagData(uint32_t id, uintptr_t defaultValue, const TagItem* list);

// ---- Byte order --------------------------------------------------------------

// The two bytes of the low half exchanged, zero-extended.
inline uint32_t Swap16(uint32_t value)
{
    return ((value & 0xFF) << 8) | ((value >> 8) & 0xFF);
}

inline uint32_t Swap32(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

// ---- Memory ------------------------------------------------------------------

// Zero-filled block of count × size bytes; null when memory is short or the
// product does not fit in 32 bits (never a short block).
void* MemAlloc(uint32_t count, uint32_t size);

// Zero-filled block of `size` bytes, or null.
void* MemAllocClear(size_t size);

// Releases a block from MemAlloc/MemAllocClear; null is accepted.
void MemFree(void* block);

// Copies n bytes (nothing for n <= 0). The blocks must not overlap.
void MemCopy(void* dst, const void* src, int32_t n);

// Writes n bytes of `value` (nothing for n <= 0).
void MemFill(void* dst, uint8_t value, int32_t n);

// Writes s to standard output unchanged (percent signs included).
void PrintText(const char* s);

// ---- Files -------------------------------------------------------------------

// The file `name` opened for reading in binary mode, or null with errno set.
// Only a regular file is opened: a directory fails with EISDIR, a named
// pipe, device or socket with EINVAL. The file is opened without blocking
// and checked before anything is read, so a pipe that nobody writes cannot
// hold the caller up; a regular file then reads as usual.
std::FILE* OpenRegularFile(const char* name);

// ---- Tick timer --------------------------------------------------------------

constexpr uint32_t TICKS_PER_SECOND = 709379;

// Always 1: the timer needs no set-up and allocates nothing.
int TimerCreate();

// Wall-clock ticks from a monotonic clock, as the low 32 bits of the full
// count: differences in unsigned 32-bit arithmetic are right across the wrap.
uint32_t TimerRead();

// Does nothing; pairs with TimerCreate.
void TimerDelete();

// Full tick count for a monotonic time in nanoseconds (truncated), low 32 bits.
uint32_t TicksFromNanoseconds(uint64_t nanoseconds);

}  // namespace kvor3d
