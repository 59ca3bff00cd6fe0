// Feeds each input to LoadLightEffects as a light-effect file in memory,
// bounded by its length, the way a program reads one: into a scene, in
// 15-bit mode, with a colour table (so element materials are built from
// hostile values) and a texture callback. Maps whose name starts with 'i'
// get a small ILBM picture, the others a raw 256 × 256 square. When the
// file loads, its first effect is written back with SaveLightEffects and
// read again: the copy must load, and writing it must give the same bytes.
#include "kvor3d.h"
#include "cube_table.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace kvor3d;

namespace {

// A 2 × 2 one-plane ILBM: black and white in a checkerboard.
const std::vector<uint8_t>& SmallPicture()
{
    static const std::vector<uint8_t> picture = {
        'F', 'O', 'R', 'M', 0, 0, 0, 58, 'I', 'L', 'B', 'M',
        'B', 'M', 'H', 'D', 0, 0, 0, 20,
        0, 2, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 10, 11, 0, 2, 0, 2,
        'C', 'M', 'A', 'P', 0, 0, 0, 6, 0, 0, 0, 255, 255, 255,
        'B', 'O', 'D', 'Y', 0, 0, 0, 4, 0x40, 0, 0x80, 0,
    };
    return picture;
}

const void* ImageFor(const char* name)
{
    static std::vector<uint16_t> raw(TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE, 0x4210);
    return name[0] == 'i' ? static_cast<const void*>(SmallPicture().data()) : raw.data();
}

LightEffect* LoadInto(Scene* scene, const uint8_t* data, size_t size)
{
    const TagItem tags[] = {
        {TAG_LOADLIGHTEFFECTS_MEMORY, TagPtr(data)},
        {TAG_LOADLIGHTEFFECTS_MEMORYSIZE, size},
        {TAG_LOADLIGHTEFFECTS_TEXTURES, reinterpret_cast<uintptr_t>(&ImageFor)},
        {TAG_LOADLIGHTEFFECTS_COLOURTABLE, TagPtr(CubeTable())},
        {TAG_LOADLIGHTEFFECTS_SCENE, TagPtr(scene)},
        {TAG_DONE, 0},
    };
    return LoadLightEffects(tags);
}

// The image of one effect read from `inputSize` bytes holds no more than
// those bytes, a header and VERS, and a pad byte per string: twice the input
// and a little is always enough.
std::vector<uint8_t> Save(const LightEffect* effect, size_t inputSize)
{
    std::vector<uint8_t> buffer(2 * inputSize + 64);
    const TagItem tags[] = {
        {TAG_SAVELIGHTEFFECTS_MEMORY, TagPtr(buffer.data())},
        {TAG_SAVELIGHTEFFECTS_CAPACITY, buffer.size()},
        {TAG_DONE, 0},
    };
    buffer.resize(SaveLightEffects(effect, tags));
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SetPixelMode(1);
    Scene* scene = AllocScene();
    LightEffect* effect = LoadInto(scene, data, size);
    if (effect) {
        const std::vector<uint8_t> first = Save(effect, size);
        if (first.empty())
            std::abort();
        Scene* copyScene = AllocScene();
        LightEffect* copy = LoadInto(copyScene, first.data(), first.size());
        if (!copy || copy->next || Save(copy, first.size()) != first)
            std::abort();
        FreeScene(copyScene);
    }
    FreeScene(scene);
    return 0;
}
