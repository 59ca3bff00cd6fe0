// Builds scene files byte by byte for the reader and writer tests: chunks of
// big-endian words or strings inside a FORM KVOR, and loads them back
// through LoadScene with the scene freed automatically.
#pragma once

#include "kvor3d.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace bytes {

using Bytes = std::vector<uint8_t>;

inline void AppendWord(Bytes& out, uint32_t word)
{
    out.push_back(uint8_t(word >> 24));
    out.push_back(uint8_t(word >> 16));
    out.push_back(uint8_t(word >> 8));
    out.push_back(uint8_t(word));
}

inline uint32_t F(float value)
{
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// A signed integer as the word the file holds.
inline uint32_t I(int32_t value)
{
    return uint32_t(value);
}

inline uint32_t Id(const char (&id)[5])
{
    return IffId(id);
}

// A chunk with any payload; the size field is the payload's length unless
// `size` says otherwise.
inline Bytes RawChunk(const char (&id)[5], const Bytes& payload, int64_t size = -1)
{
    Bytes out;
    AppendWord(out, Id(id));
    AppendWord(out, size < 0 ? uint32_t(payload.size()) : uint32_t(size));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes WordChunk(const char (&id)[5], std::initializer_list<uint32_t> words)
{
    Bytes payload;
    for (uint32_t word : words)
        AppendWord(payload, word);
    return RawChunk(id, payload);
}

inline Bytes WordsChunk(const char (&id)[5], const std::vector<uint32_t>& words)
{
    Bytes payload;
    for (uint32_t word : words)
        AppendWord(payload, word);
    return RawChunk(id, payload);
}

// The text, its NUL and a 0 pad byte when that length is odd.
inline Bytes StringChunk(const char (&id)[5], const std::string& text)
{
    Bytes payload(text.begin(), text.end());
    payload.push_back(0);
    if (payload.size() % 2)
        payload.push_back(0);
    return RawChunk(id, payload);
}

// FORM, the size of what follows, KVOR and the chunks.
inline Bytes Form(std::initializer_list<Bytes> chunks)
{
    Bytes body;
    for (const Bytes& chunk : chunks)
        body.insert(body.end(), chunk.begin(), chunk.end());
    Bytes out;
    AppendWord(out, Id("FORM"));
    AppendWord(out, uint32_t(body.size() + 4));
    AppendWord(out, Id("KVOR"));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes Version(uint32_t version)
{
    return WordChunk("VERS", {version});
}

inline Bytes Enty(uint32_t kind, uint32_t flags = ENTITY_DRAWN)
{
    return WordChunk("ENTY", {kind, flags});
}

// One chunk of a written file.
struct ParsedChunk {
    std::string id;
    Bytes payload;
};

inline uint32_t WordAt(const Bytes& data, size_t offset)
{
    return uint32_t(data[offset]) << 24 | uint32_t(data[offset + 1]) << 16 | uint32_t(data[offset + 2]) << 8 |
           uint32_t(data[offset + 3]);
}

// The chunks after the FORM header, each with its payload (pad bytes of odd
// sizes skipped); stops at the first chunk that does not fit.
inline std::vector<ParsedChunk> ParseChunks(const Bytes& file)
{
    std::vector<ParsedChunk> chunks;
    size_t offset = 12;
    while (offset + 8 <= file.size()) {
        const uint32_t size = WordAt(file, offset + 4);
        if (offset + 8 + size > file.size())
            break;
        chunks.push_back({std::string(file.begin() + long(offset), file.begin() + long(offset) + 4),
                          Bytes(file.begin() + long(offset) + 8, file.begin() + long(offset + 8 + size))});
        offset += 8 + size + (size & 1);
    }
    return chunks;
}

// The chunk ids of a written file, in order.
inline std::vector<std::string> ChunkIds(const Bytes& file)
{
    std::vector<std::string> ids;
    for (const ParsedChunk& chunk : ParseChunks(file))
        ids.push_back(chunk.id);
    return ids;
}

// The payload of the first chunk `id`, or an empty one.
inline Bytes PayloadOf(const Bytes& file, const std::string& id)
{
    for (const ParsedChunk& chunk : ParseChunks(file)) {
        if (chunk.id == id)
            return chunk.payload;
    }
    return {};
}

// A payload as big-endian words.
inline std::vector<uint32_t> Words(const Bytes& payload)
{
    std::vector<uint32_t> words;
    for (size_t i = 0; i + 4 <= payload.size(); i += 4)
        words.push_back(WordAt(payload, i));
    return words;
}

struct SceneDeleter {
    void operator()(Scene* scene) const { FreeScene(scene); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;

// The result of a load: the scene (null on failure) and the error word.
struct Loaded {
    ScenePtr scene;
    int32_t error = 1;
};

// Loads a file image from memory, bounded by its length, with placeholder
// textures unless other tags are given.
inline Loaded Load(const Bytes& file, std::initializer_list<TagItem> extra = {{TAG_LOADSCENE_PLACEHOLDERS, 1}})
{
    Loaded loaded;
    std::vector<TagItem> tags = {
        {TAG_LOADSCENE_MEMORY, TagPtr(file.data())},
        {TAG_LOADSCENE_MEMORYSIZE, file.size()},
        {TAG_LOADSCENE_ERROR, TagPtr(&loaded.error)},
    };
    tags.insert(tags.end(), extra.begin(), extra.end());
    tags.push_back({TAG_DONE, 0});
    loaded.scene.reset(LoadScene(tags.data()));
    return loaded;
}

// True when the file loads (error 0 and a scene).
inline bool Loads(const Bytes& file)
{
    Loaded loaded = Load(file);
    return loaded.scene && loaded.error == 0;
}

// True when the load fails cleanly: null and error −1.
inline bool Fails(const Bytes& file)
{
    Loaded loaded = Load(file);
    return !loaded.scene && loaded.error == -1;
}

// The scene written into memory (unbounded).
inline Bytes Save(const Scene* scene)
{
    Bytes out(1 << 20);
    int32_t error = 1;
    const TagItem tags[] = {
        {TAG_SAVESCENE_MEMORY, TagPtr(out.data())},
        {TAG_SAVESCENE_CAPACITY, out.size()},
        {TAG_SAVESCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    uint32_t total = SaveScene(scene, tags);
    out.resize(error == 0 ? total : 0);
    return out;
}

inline Bytes ReadFile(const std::string& name)
{
    Bytes out;
    if (std::FILE* file = std::fopen(name.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(file)) != EOF)
            out.push_back(uint8_t(c));
        std::fclose(file);
    }
    return out;
}

inline void WriteFile(const std::string& name, const Bytes& data)
{
    if (std::FILE* file = std::fopen(name.c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), file);
        std::fclose(file);
    }
}

inline bool FileExists(const std::string& name)
{
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file)
        std::fclose(file);
    return file != nullptr;
}

// A file name of its own for one test under the system's temporary folder.
inline std::string TempName(const std::string& stem)
{
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder ? folder : "/tmp") + "/kvor3d_files_" + stem + "_" + std::to_string(::getpid()) + ".kvor";
}

}  // namespace bytes
