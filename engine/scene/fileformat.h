// The scene file format: an IFF-style FORM of type KVOR holding a flat
// sequence of chunks (8-byte header of id and payload size, then the
// payload). Every number is a 32-bit big-endian word; strings are the text,
// a NUL and one 0 pad byte when that length is odd.
//
// This header holds what every reader and writer of the format shares: the
// chunk ids, the version numbers that select older encodings, the tags of
// LoadScene and SaveScene, and the byte-level helpers: a bounded source that
// hands out one chunk payload at a time from a file or from memory, and a
// sink that writes chunks to a file (through a temporary name) or into a
// buffer, with an optional capacity.
#pragma once

#include "../core/core.h"
#include "../image/image.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvor3d {

struct ColourTable;
struct LightEffect;
struct Scene;

// ---- Chunk ids ---------------------------------------------------------------

constexpr uint32_t ID_KVOR = IffId("KVOR");

// Scene-level chunks.
constexpr uint32_t ID_VERS = IffId("VERS");
constexpr uint32_t ID_CLIP = IffId("CLIP");
constexpr uint32_t ID_FOG = IffId("FOG ");
constexpr uint32_t ID_GAMB = IffId("GAMB");
constexpr uint32_t ID_BACK = IffId("BACK");
constexpr uint32_t ID_BCK2 = IffId("BCK2");
constexpr uint32_t ID_BMAP = IffId("BMAP");
constexpr uint32_t ID_FLOR = IffId("FLOR");
constexpr uint32_t ID_SKY = IffId("SKY ");
constexpr uint32_t ID_SHDW = IffId("SHDW");

// Light effects and their elements.
constexpr uint32_t ID_LTEF = IffId("LTEF");
constexpr uint32_t ID_LENM = IffId("LENM");
constexpr uint32_t ID_LEEL = IffId("LEEL");
constexpr uint32_t ID_LEEN = IffId("LEEN");
constexpr uint32_t ID_LEEM = IffId("LEEM");

// Entities.
constexpr uint32_t ID_ENTY = IffId("ENTY");
constexpr uint32_t ID_NAME = IffId("NAME");
constexpr uint32_t ID_POSN = IffId("POSN");
constexpr uint32_t ID_PIVT = IffId("PIVT");
constexpr uint32_t ID_ROTN = IffId("ROTN");
constexpr uint32_t ID_ROT2 = IffId("ROT2");
constexpr uint32_t ID_SIZE = IffId("SIZE");
constexpr uint32_t ID_PRNT = IffId("PRNT");
constexpr uint32_t ID_KEYF = IffId("KEYF");
constexpr uint32_t ID_FKEY = IffId("FKEY");
constexpr uint32_t ID_KEY2 = IffId("KEY2");
constexpr uint32_t ID_KEY3 = IffId("KEY3");

// Objects and morph objects.
constexpr uint32_t ID_OBJT = IffId("OBJT");
constexpr uint32_t ID_MOBJ = IffId("MOBJ");
constexpr uint32_t ID_VRTX = IffId("VRTX");
constexpr uint32_t ID_AVTX = IffId("AVTX");
constexpr uint32_t ID_FACE = IffId("FACE");
constexpr uint32_t ID_COLR = IffId("COLR");
constexpr uint32_t ID_TXTR = IffId("TXTR");
constexpr uint32_t ID_ENVR = IffId("ENVR");
constexpr uint32_t ID_BUMP = IffId("BUMP");
constexpr uint32_t ID_TRNS = IffId("TRNS");
constexpr uint32_t ID_MFLT = IffId("MFLT");
constexpr uint32_t ID_SPRE = IffId("SPRE");
constexpr uint32_t ID_SPTR = IffId("SPTR");
constexpr uint32_t ID_PCOR = IffId("PCOR");
constexpr uint32_t ID_GLOW = IffId("GLOW");
constexpr uint32_t ID_RDST = IffId("RDST");
constexpr uint32_t ID_MFNM = IffId("MFNM");
constexpr uint32_t ID_MFKF = IffId("MFKF");
constexpr uint32_t ID_MKFN = IffId("MKFN");

// Lights and the camera.
constexpr uint32_t ID_LGHT = IffId("LGHT");
constexpr uint32_t ID_LGTE = IffId("LGTE");
constexpr uint32_t ID_LIKF = IffId("LIKF");
constexpr uint32_t ID_CMRA = IffId("CMRA");

// ---- Versions ------------------------------------------------------------------

// The version the writer writes. A file without VERS is version 0; no
// version is refused, the number only selects the encodings below. Each
// constant is the last version that still uses the older encoding.
constexpr uint32_t SCENE_VERSION = 7;
constexpr uint32_t VERSION_INTEGER_POSITIONS = 0;  // POSN, PIVT, KEY2 positions: s32; ROT2, KEY2 rotations: 16.16
constexpr uint32_t VERSION_INTEGER_VERTICES = 1;   // VRTX, AVTX coordinates and FACE texture coordinates: s32
constexpr uint32_t VERSION_FIXED_GLOW = 2;         // GLOW: one 16.16 value
constexpr uint32_t VERSION_INTEGER_CLIP = 3;       // CLIP: s32
constexpr uint32_t VERSION_FLAG_BIT_KEYS = 5;      // KEY3, MFKF, LIKF: only the spline bit of the flags word is read

// ---- Layouts ---------------------------------------------------------------------

// Where FOG's mode and BCK2's background mode go in the scene flags.
constexpr uint32_t SCENE_FOGMODE_SHIFT = 12;
constexpr uint32_t SCENE_BACKGROUNDMODE_SHIFT = 8;

constexpr uint32_t FORM_HEADER_BYTES = IFF_FORM_HEADER_BYTES;   // "FORM", size, "KVOR"
constexpr uint32_t CHUNK_HEADER_BYTES = IFF_CHUNK_HEADER_BYTES; // id, size

// Entry sizes of the array chunks.
constexpr uint32_t KEYF_ENTRY_BYTES = 32;
constexpr uint32_t FKEY_ENTRY_BYTES = 44;
constexpr uint32_t KEY2_ENTRY_BYTES = 44;
constexpr uint32_t KEY3_ENTRY_BYTES = 56;
constexpr uint32_t MFKF_BYTES = 20;
constexpr uint32_t LIKF_ENTRY_BYTES = 24;
constexpr uint32_t VRTX_ENTRY_BYTES = 16;
constexpr uint32_t AVTX_ENTRY_BYTES = 20;
constexpr uint32_t FACE_ENTRY_BYTES = 40;

// ---- Tags --------------------------------------------------------------------------

// LoadScene (group 0x01), read with FindTag.
constexpr uint32_t TAG_LOADSCENE_FILENAME = 0x803d0100;     // char*, opened with "rb"
constexpr uint32_t TAG_LOADSCENE_MEMORY = 0x803d0101;       // const void*: a whole file image; when no file name
constexpr uint32_t TAG_LOADSCENE_ERROR = 0x803d0102;        // int32_t*: 0 or −1
constexpr uint32_t TAG_LOADSCENE_TEXTURES = 0x803d0103;     // TextureImageCallback
constexpr uint32_t TAG_LOADSCENE_COLOURTABLE = 0x803d0104;  // ColourTable*, kept by the scene
constexpr uint32_t TAG_LOADSCENE_PLACEHOLDERS = 0x803d0105; // 16-bit boolean: name-only textures
constexpr uint32_t TAG_LOADSCENE_MEMORYSIZE = 0x803d0106;   // bytes readable at the memory image; absent: its FORM size + 8
constexpr uint32_t TAG_LOADSCENE_FAILURE = 0x803d0107;      // SceneLoadFailure*: the file a failed load could not read
constexpr uint32_t TAG_LOADSCENE_TEXTUREFILES = 0x803d0108; // TextureFileCallback

// Which file made LoadScene fail and why: the scene file when it cannot be
// opened, or a texture it names that cannot be made. Left empty (error 0)
// when the load succeeds or fails for anything else, such as a malformed
// chunk.
struct SceneLoadFailure {
    char file[256];   // the name as the scene gives it, cut short to fit
    int32_t error;    // errno: the open's own, EFBIG for a picture too large, EINVAL for unreadable data
};

// SaveScene (group 0x02), read with FindTag.
constexpr uint32_t TAG_SAVESCENE_FILENAME = 0x803d0200;     // char*: the file written
constexpr uint32_t TAG_SAVESCENE_MEMORY = 0x803d0201;       // void*: buffer for the file image; when no file name
constexpr uint32_t TAG_SAVESCENE_ERROR = 0x803d0202;        // int32_t*: 0 or −1
constexpr uint32_t TAG_SAVESCENE_CAPACITY = 0x803d0203;     // bytes the buffer holds; absent: unbounded

// Texture-name callback of the readers: the image file's bytes in memory for
// a texture name (handed to CreateTexture as its memory image), or null.
using TextureImageCallback = const void* (*)(const char* name);

// Texture-file callback of the scene reader: the path of the file to read
// for a texture name the image callback gives no image for, or null when
// there is no such file, which fails the load (the failure record names the
// texture, with ENOENT). The texture keeps the scene's name; the path need
// only stay valid until the callback is called again.
using TextureFileCallback = const char* (*)(const char* name);

// ---- Big-endian words ------------------------------------------------------------------

inline uint32_t GetWord(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

inline void PutWord(uint8_t* bytes, uint32_t word)
{
    bytes[0] = uint8_t(word >> 24);
    bytes[1] = uint8_t(word >> 16);
    bytes[2] = uint8_t(word >> 8);
    bytes[3] = uint8_t(word);
}

inline float WordFloat(uint32_t word)
{
    float value;
    std::memcpy(&value, &word, sizeof value);
    return value;
}

inline uint32_t FloatWord(float value)
{
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    return word;
}

// ---- Reading -----------------------------------------------------------------------------

// One chunk as the source hands it out: its payload stays valid until the
// next chunk is read.
struct Chunk {
    uint32_t id;
    uint32_t size;            // payload bytes, without the header and any pad byte
    const uint8_t* data;      // the payload
};

// The bytes of a scene file being read: an open file or a memory image, and
// what is left of its FORM.
struct SceneSource {
    FILE* file;               // file mode; closed by CloseSource
    const uint8_t* memory;    // memory mode
    uint64_t length;          // bytes in the file or the memory image
    uint64_t position;        // bytes consumed
    uint64_t remaining;       // FORM bytes not yet read
    uint8_t* buffer;          // file mode: the current payload, owned
    uint32_t bufferSize;
};

// Opens the named file for reading. False when it cannot be opened or sized.
bool OpenSourceFile(SceneSource* source, const char* name);

// Reads from a memory image of `length` bytes. With SOURCE_LENGTH_OF_FORM
// the image is as long as its own FORM says (the caller vouches that the
// bytes are there).
constexpr uint64_t SOURCE_LENGTH_OF_FORM = UINT64_MAX;
void OpenSourceMemory(SceneSource* source, const void* memory, uint64_t length);

// Closes the file and frees the payload buffer.
void CloseSource(SceneSource* source);

// Reads the 12-byte header: true for "FORM", size, "KVOR" with the FORM
// within the source (the FORM's type word counted in its size).
bool ReadFormHeader(SceneSource* source);

// True while FORM bytes remain.
inline bool MoreChunks(const SceneSource* source)
{
    return source->remaining != 0;
}

// Reads the next chunk header and, when `known(id)` is true, its payload;
// any other chunk is skipped together with its pad byte when its size is
// odd. False (chunk untouched) when the header or the chunk would run past
// the FORM's end or the source's, or memory is short. A known chunk's
// payload is read whole, so one larger than its layout leaves the next
// chunk where it starts.
bool ReadChunk(SceneSource* source, bool (*known)(uint32_t id), Chunk* chunk);

// Word `index` of the payload; the caller has checked the size.
inline uint32_t ChunkWord(const Chunk& chunk, uint32_t index)
{
    return GetWord(chunk.data + 4 * index);
}

// The text of a string payload, or null when it holds no NUL.
const char* ChunkString(const Chunk& chunk);

// The most element material tables one file may make. Each is a 64 KB
// table built from the whole palette, so the bound keeps a file's tables
// within 4 MB and their building brief; the show's files need at most six.
constexpr uint32_t ELEMENT_MATERIAL_LIMIT = 64;

// Gives every element of the effects from `first` on its material over the
// colour table, shared through the scene's chain: mode 2, 4 or 6 (add,
// subtract, blend) for e3 bits 0-1 = 0, 1 or 2 with p1 = e2; mode 3 has no
// material of its own and such an element keeps none. Elements of equal
// mode and e2 share one material. False when a material cannot be made, or
// when the effects would need more than ELEMENT_MATERIAL_LIMIT tables that
// the scene does not already hold.
bool CreateElementMaterials(LightEffect* first, Scene* scene, const ColourTable* table);

// ---- Writing ----------------------------------------------------------------------------------

// Where a writer puts its bytes: a file written under a temporary name and
// renamed into place once complete, or a memory buffer.
struct SceneSink {
    FILE* file;               // file mode
    char* name;               // file mode: the name to give the file, owned
    char* temporaryName;      // file mode: the name written, owned
    uint8_t* memory;          // memory mode
    uint64_t capacity;        // memory mode: bytes the buffer holds (UINT64_MAX: unbounded)
    uint64_t total;           // bytes written, header included
    bool failed;              // a write, a seek or a bound failed; later writes do nothing
};

// Creates a temporary file of a fresh name beside `name` (never an
// existing file or link), with the permissions fopen would give `name`.
// False when it cannot be made.
bool OpenSinkFile(SceneSink* sink, const char* name);

// Writes into `memory`, at most `capacity` bytes.
void OpenSinkMemory(SceneSink* sink, void* memory, uint64_t capacity);

// Appends bytes; a write that fails or would pass the capacity marks the
// sink failed.
void PutBytes(SceneSink* sink, const void* bytes, uint64_t count);
void PutWords(SceneSink* sink, const uint32_t* words, uint32_t count);

// A chunk header; sizes beyond 32 bits fail the sink.
void PutChunkHeader(SceneSink* sink, uint32_t id, uint64_t size);

// A chunk of `count` words.
void PutWordChunk(SceneSink* sink, uint32_t id, const uint32_t* words, uint32_t count);

// A string chunk: the text, its NUL and a 0 pad byte when that is odd.
void PutStringChunk(SceneSink* sink, uint32_t id, const char* text);

// Writes the FORM header with a size placeholder.
void PutFormHeader(SceneSink* sink);

// Rewrites the header with the FORM size (total − 8) and, for a file,
// closes it and renames it into place, or removes it when anything failed.
// The total byte count, or 0 on failure.
uint64_t CloseSink(SceneSink* sink);

}  // namespace kvor3d
