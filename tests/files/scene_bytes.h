// Builds scene files byte by byte for the reader and writer tests: chunks of
// big-endian words or strings inside a FORM KVOR, and loads them back
// through LoadScene with the scene freed automatically.
#pragma once

#include "kvor3d.h"
#include "support/run_program.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

using namespace kvor3d;

namespace bytes {

using Bytes = std::vector<uint8_t>;

inline void AppendWord(Bytes& out, uint32_t word)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(word >> shift));
}

inline uint32_t F(float value)
{
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

inline Bytes RawChunk(const char (&id)[5], const Bytes& payload, int64_t size = -1)
{
    Bytes out;
    AppendWord(out, IffId(id));
    AppendWord(out, size < 0 ? uint32_t(payload.size()) : uint32_t(size));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes WordChunk(const char (&id)[5], const std::vector<uint32_t>& words)
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

inline Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// FORM, the size of what follows, KVOR and the chunks.
inline Bytes Form(std::initializer_list<Bytes> chunks)
{
    const Bytes body = Join(chunks);
    Bytes out;
    AppendWord(out, IffId("FORM"));
    AppendWord(out, uint32_t(body.size() + 4));
    AppendWord(out, IffId("KVOR"));
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
    std::vector<TagItem> tags = {{TAG_LOADSCENE_MEMORY, TagPtr(file.data())},
                                 {TAG_LOADSCENE_MEMORYSIZE, file.size()},
                                 {TAG_LOADSCENE_ERROR, TagPtr(&loaded.error)}};
    tags.insert(tags.end(), extra.begin(), extra.end());
    tags.push_back({TAG_DONE, 0});
    loaded.scene.reset(LoadScene(tags.data()));
    return loaded;
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
    const TagItem tags[] = {{TAG_SAVESCENE_MEMORY, TagPtr(out.data())}, {TAG_SAVESCENE_CAPACITY, out.size()},
                            {TAG_SAVESCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    uint32_t total = SaveScene(scene, tags);
    out.resize(error == 0 ? total : 0);
    return out;
}

inline Bytes ReadFile(const std::string& name)
{
    const std::string text = run::ReadText(name);
    return Bytes(text.begin(), text.end());
}

}  // namespace bytes
