// The readers' file-name paths: the first byte of each input picks a
// reader, the rest is written to a file and loaded by its name. 0: LoadScene
// with name-only textures, and IsSceneFile; 1: LoadLightEffects into a
// scene with a colour table, the maps being the ILBM FORMs after the file's
// FORM (as in fuzz_loadscene); 2: ilbm_load in both pixel modes.
#include "kvor3d.h"
#include "cube_table.h"
#include "input_parts.h"

#include <cstddef>
#include <cstdint>

using namespace kvor3d;

namespace {

void LoadSceneFile(const char* name)
{
    const TagItem tags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name)}, {TAG_LOADSCENE_PLACEHOLDERS, 1}, {TAG_DONE, 0}};
    FreeScene(LoadScene(tags));
    const TagItem check[] = {{TAG_SCENEFILE_FILENAME, TagPtr(name)}, {TAG_DONE, 0}};
    IsSceneFile(check);
}

void LoadLightEffectFile(const char* name)
{
    SetPixelMode(1);
    Scene* scene = AllocScene();
    const TagItem tags[] = {
        {TAG_LOADLIGHTEFFECTS_FILENAME, TagPtr(name)},
        {TAG_LOADLIGHTEFFECTS_TEXTURES, reinterpret_cast<uintptr_t>(&parts::NextPicture)},
        {TAG_LOADLIGHTEFFECTS_COLOURTABLE, TagPtr(CubeTable())},
        {TAG_LOADLIGHTEFFECTS_SCENE, TagPtr(scene)},
        {TAG_DONE, 0},
    };
    LoadLightEffects(tags);
    FreeScene(scene);
}

void LoadPictureFile(const char* name)
{
    for (int32_t mode : {0, 1}) {
        SetPixelMode(mode);
        int32_t width = 0;
        int32_t height = 0;
        MemFree(ilbm_load(name, nullptr, 0, &width, &height, CubeTable()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t reader = data[0] % 3;
    ++data;
    --size;
    size_t fileSize = size;
    if (reader == 1) {
        fileSize = parts::FormLength(data, size);
        parts::ThePictures().Reset(data + fileSize, size - fileSize);
    }
    const char* name = parts::WriteInput(data, fileSize);
    if (reader == 0)
        LoadSceneFile(name);
    else if (reader == 1)
        LoadLightEffectFile(name);
    else
        LoadPictureFile(name);
    return 0;
}
