// Feeds each input to LoadScene as a scene file in memory, bounded by its
// FORM, with name-only textures and no colour table. A scene that loads is
// written back with SaveScene and read again: every copy must load, and
// from the second write on the bytes must not change. A scene that loads is
// also read a second time the way the programs read scenes, in 15-bit mode
// with a colour table and real textures, so that materials, tables, mip
// levels and the fog set-up are built from hostile values too. The
// textures are the ILBM FORMs that follow the scene's FORM in the input,
// one per texture in the order they are made (then the raw square), so
// pictures of any size and depth reach the texture, grey-map and mip code.
#include "kvor3d.h"
#include "cube_table.h"
#include "input_parts.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace kvor3d;

namespace {

Scene* LoadFrom(const uint8_t* data, size_t size, bool asThePrograms)
{
    const TagItem placeholders[] = {
        {TAG_LOADSCENE_MEMORY, TagPtr(data)},
        {TAG_LOADSCENE_MEMORYSIZE, size},
        {TAG_LOADSCENE_PLACEHOLDERS, 1},
        {TAG_DONE, 0},
    };
    const TagItem programs[] = {
        {TAG_LOADSCENE_MEMORY, TagPtr(data)},
        {TAG_LOADSCENE_MEMORYSIZE, size},
        {TAG_LOADSCENE_COLOURTABLE, TagPtr(CubeTable())},
        {TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&parts::NextPicture)},
        {TAG_DONE, 0},
    };
    return LoadScene(asThePrograms ? programs : placeholders);
}

// The scene's file image. A version 7 file is at most a few times larger
// than any file it was read from (older keys and vertices grow, and every
// entity gets a position and a rotation).
std::vector<uint8_t> Save(const Scene* scene, size_t inputSize)
{
    std::vector<uint8_t> image(8 * inputSize + 4096);
    const TagItem tags[] = {
        {TAG_SAVESCENE_MEMORY, TagPtr(image.data())},
        {TAG_SAVESCENE_CAPACITY, image.size()},
        {TAG_DONE, 0},
    };
    uint32_t total = SaveScene(scene, tags);
    if (total == 0)
        __builtin_trap();
    image.resize(total);
    return image;
}

// The writer keeps an effect that only an object without the sprite-effect
// flag points to, although no chunk names it then; read back, that effect is
// unused and the next write leaves it out. So the image must be stable from
// the second write on.
std::vector<uint8_t> SaveReloaded(const std::vector<uint8_t>& image)
{
    Scene* copy = LoadFrom(image.data(), image.size(), false);
    if (!copy)
        __builtin_trap();
    std::vector<uint8_t> again = Save(copy, image.size());
    FreeScene(copy);
    return again;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t sceneSize = parts::FormLength(data, size);
    parts::ThePictures().Reset(data + sceneSize, size - sceneSize);
    size = sceneSize;
    SetPixelMode(0);
    Scene* scene = LoadFrom(data, size, false);
    if (!scene)
        return 0;
    std::vector<uint8_t> image = Save(scene, size);
    FreeScene(scene);
    std::vector<uint8_t> second = SaveReloaded(image);
    if (SaveReloaded(second) != second)
        __builtin_trap();

    SetPixelMode(1);
    FreeScene(LoadFrom(data, size, true));
    return 0;
}
