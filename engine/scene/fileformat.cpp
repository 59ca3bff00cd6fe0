#include "scene/fileformat.h"

#include "scene/scene.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace kvor3d {

// ---- Reading -----------------------------------------------------------------------

bool OpenSourceFile(SceneSource* source, const char* name)
{
    *source = SceneSource{};
    source->file = OpenRegularFile(name);
    if (!source->file)
        return false;
    long length = -1;
    if (std::fseek(source->file, 0, SEEK_END) == 0)
        length = std::ftell(source->file);
    if (length < 0 || std::fseek(source->file, 0, SEEK_SET) != 0) {
        CloseSource(source);
        return false;
    }
    source->length = uint64_t(length);
    return true;
}

void OpenSourceMemory(SceneSource* source, const void* memory, uint64_t length)
{
    *source = SceneSource{};
    source->memory = static_cast<const uint8_t*>(memory);
    source->length = length;
}

void CloseSource(SceneSource* source)
{
    if (source->file)
        std::fclose(source->file);
    MemFree(source->buffer);
    *source = SceneSource{};
}

namespace {

// Copies `count` bytes at the read position into `bytes`. The caller has
// checked them against the source's length; a file that reads short fails.
bool ReadBytes(SceneSource* source, void* bytes, uint32_t count)
{
    if (source->file) {
        if (std::fread(bytes, 1, count, source->file) != count)
            return false;
    } else {
        std::memcpy(bytes, source->memory + source->position, count);
    }
    source->position += count;
    return true;
}

// Points the chunk at the next `size` bytes: in place in memory, or read
// into the source's buffer, which grows to the largest payload read. An
// empty payload still points at a byte, so that no copy of it is made from
// a null pointer.
bool ReadPayload(SceneSource* source, uint32_t size, Chunk* chunk)
{
    static const uint8_t nothing = 0;
    if (size == 0) {
        chunk->data = &nothing;
        return true;
    }
    if (!source->file) {
        chunk->data = source->memory + source->position;
        source->position += size;
        return true;
    }
    if (size > source->bufferSize) {
        auto* buffer = static_cast<uint8_t*>(MemAlloc(size, 1));
        if (!buffer)
            return false;
        MemFree(source->buffer);
        source->buffer = buffer;
        source->bufferSize = size;
    }
    chunk->data = source->buffer;
    return ReadBytes(source, source->buffer, size);
}

bool SkipBytes(SceneSource* source, uint32_t count)
{
    if (source->file && std::fseek(source->file, long(count), SEEK_CUR) != 0)
        return false;
    source->position += count;
    return true;
}

}  // namespace

// A memory image of unknown length is as long as its FORM says. The FORM
// must lie within the source: that bounds every chunk, and with it every
// allocation made for a chunk's entries, by the bytes actually there.
bool ReadFormHeader(SceneSource* source)
{
    if (source->length != SOURCE_LENGTH_OF_FORM && source->length < FORM_HEADER_BYTES)
        return false;
    uint8_t header[FORM_HEADER_BYTES];
    if (!ReadBytes(source, header, FORM_HEADER_BYTES))
        return false;
    uint32_t formSize = GetWord(header + 4);
    if (GetWord(header) != ID_FORM || GetWord(header + 8) != ID_KVOR || formSize < 4)
        return false;
    uint64_t formEnd = uint64_t(formSize) + 8;
    if (source->length == SOURCE_LENGTH_OF_FORM)
        source->length = formEnd;
    if (formEnd > source->length)
        return false;
    source->remaining = formSize - 4;
    return true;
}

// The pad byte after an odd unknown chunk belongs to that chunk: when the
// FORM ends before it, the chunk runs past the FORM's end.
bool ReadChunk(SceneSource* source, bool (*known)(uint32_t id), Chunk* chunk)
{
    if (source->remaining < CHUNK_HEADER_BYTES)
        return false;
    uint8_t header[CHUNK_HEADER_BYTES];
    if (!ReadBytes(source, header, CHUNK_HEADER_BYTES))
        return false;
    source->remaining -= CHUNK_HEADER_BYTES;
    uint32_t id = GetWord(header);
    uint32_t size = GetWord(header + 4);
    if (size > source->remaining)
        return false;
    if (known(id)) {
        if (!ReadPayload(source, size, chunk))
            return false;
        source->remaining -= size;
        chunk->id = id;
        chunk->size = size;
        return true;
    }
    uint64_t skip = uint64_t(size) + (size & 1);
    if (skip > source->remaining || !SkipBytes(source, uint32_t(skip)))
        return false;
    source->remaining -= skip;
    chunk->id = id;
    chunk->size = size;
    chunk->data = nullptr;
    return true;
}

const char* ChunkString(const Chunk& chunk)
{
    if (chunk.size == 0 || !std::memchr(chunk.data, 0, chunk.size))
        return nullptr;
    return reinterpret_cast<const char*>(chunk.data);
}

// ---- Writing ------------------------------------------------------------------------

namespace {

// "<name>.XXXXXX": the random part is filled in by CreateTemporary.
constexpr char TEMPORARY_SUFFIX[] = ".XXXXXX";
constexpr size_t TEMPORARY_RANDOM = sizeof TEMPORARY_SUFFIX - 2;
constexpr int TEMPORARY_ATTEMPTS = 100;

void FreeSinkNames(SceneSink* sink)
{
    MemFree(sink->name);
    MemFree(sink->temporaryName);
    sink->name = nullptr;
    sink->temporaryName = nullptr;
}

// Creates a file of a new random name from `pattern` (its last six
// characters are replaced) and returns its descriptor, or -1. O_EXCL makes
// the call fail rather than follow a link or reuse a file someone planted
// at that name, and mode 0666 lets the umask give the file the same
// permissions fopen would.
int CreateTemporary(char* pattern)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    char* random = pattern + std::strlen(pattern) - TEMPORARY_RANDOM;
    for (int attempt = 0; attempt < TEMPORARY_ATTEMPTS; ++attempt) {
        uint8_t bytes[TEMPORARY_RANDOM];
        if (getrandom(bytes, sizeof bytes, 0) != ssize_t(sizeof bytes))
            return -1;
        for (size_t i = 0; i < TEMPORARY_RANDOM; ++i)
            random[i] = letters[bytes[i] % (sizeof letters - 1)];
        const int fd = open(pattern, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

// The file is written under a fresh name beside it ("<name>.XXXXXX") and
// only renamed to its name once it is complete, so a failed write never
// leaves a file that looks valid (and an older file of that name stays as
// it was). The temporary file is removed on every failure.
bool OpenSinkFile(SceneSink* sink, const char* name)
{
    *sink = SceneSink{};
    size_t length = std::strlen(name);
    if (length > UINT32_MAX - sizeof TEMPORARY_SUFFIX)
        return false;
    sink->name = CopyName(name);
    sink->temporaryName = static_cast<char*>(MemAlloc(uint32_t(length + sizeof TEMPORARY_SUFFIX), 1));
    if (!sink->name || !sink->temporaryName) {
        FreeSinkNames(sink);
        return false;
    }
    std::memcpy(sink->temporaryName, name, length);
    std::memcpy(sink->temporaryName + length, TEMPORARY_SUFFIX, sizeof TEMPORARY_SUFFIX);
    const int fd = CreateTemporary(sink->temporaryName);
    if (fd >= 0) {
        sink->file = fdopen(fd, "wb");
        if (!sink->file) {
            close(fd);
            unlink(sink->temporaryName);
        }
    }
    if (!sink->file) {
        FreeSinkNames(sink);
        return false;
    }
    return true;
}

void OpenSinkMemory(SceneSink* sink, void* memory, uint64_t capacity)
{
    *sink = SceneSink{};
    sink->memory = static_cast<uint8_t*>(memory);
    sink->capacity = capacity;
}

void PutBytes(SceneSink* sink, const void* bytes, uint64_t count)
{
    if (sink->failed || count == 0)
        return;
    if (sink->file) {
        if (std::fwrite(bytes, 1, count, sink->file) != count) {
            sink->failed = true;
            return;
        }
    } else {
        if (count > sink->capacity - sink->total) {
            sink->failed = true;
            return;
        }
        std::memcpy(sink->memory + sink->total, bytes, count);
    }
    sink->total += count;
}

void PutWords(SceneSink* sink, const uint32_t* words, uint32_t count)
{
    uint8_t bytes[64];
    while (count > 0) {
        uint32_t batch = count < 16 ? count : 16;
        for (uint32_t i = 0; i < batch; ++i)
            PutWord(bytes + 4 * i, words[i]);
        PutBytes(sink, bytes, 4 * batch);
        words += batch;
        count -= batch;
    }
}

void PutChunkHeader(SceneSink* sink, uint32_t id, uint64_t size)
{
    if (size > UINT32_MAX) {
        sink->failed = true;
        return;
    }
    const uint32_t header[2] = {id, uint32_t(size)};
    PutWords(sink, header, 2);
}

void PutWordChunk(SceneSink* sink, uint32_t id, const uint32_t* words, uint32_t count)
{
    PutChunkHeader(sink, id, 4 * uint64_t(count));
    PutWords(sink, words, count);
}

void PutStringChunk(SceneSink* sink, uint32_t id, const char* text)
{
    uint64_t length = std::strlen(text) + 1;
    uint64_t size = length + (length & 1);
    const uint8_t zero[2] = {0, 0};
    PutChunkHeader(sink, id, size);
    PutBytes(sink, text, length - 1);
    PutBytes(sink, zero, size - (length - 1));
}

void PutFormHeader(SceneSink* sink)
{
    const uint32_t header[3] = {ID_FORM, 0, ID_KVOR};
    PutWords(sink, header, 3);
}

uint64_t CloseSink(SceneSink* sink)
{
    if (sink->total > UINT32_MAX)
        sink->failed = true;
    uint8_t header[FORM_HEADER_BYTES];
    PutWord(header, ID_FORM);
    PutWord(header + 4, uint32_t(sink->total - CHUNK_HEADER_BYTES));
    PutWord(header + 8, ID_KVOR);

    if (sink->file) {
        if (!sink->failed) {
            sink->failed = std::fseek(sink->file, 0, SEEK_SET) != 0 ||
                           std::fwrite(header, 1, FORM_HEADER_BYTES, sink->file) != FORM_HEADER_BYTES;
        }
        if (std::fclose(sink->file) != 0)
            sink->failed = true;
        sink->file = nullptr;
        if (!sink->failed && std::rename(sink->temporaryName, sink->name) != 0)
            sink->failed = true;
        if (sink->failed)
            std::remove(sink->temporaryName);
        FreeSinkNames(sink);
    } else if (!sink->failed) {
        std::memcpy(sink->memory, header, FORM_HEADER_BYTES);
    }
    return sink->failed ? 0 : sink->total;
}

}  // namespace kvor3d
