// The eleven scene files, and what the scenes share.
#include "scenes.h"

using namespace kvor3d;

namespace kvordata {

std::string DataName(const std::string& file)
{
    return "data/" + file;
}

void Textured(Scene* scene, ObjectEntity* object, const std::string& file, uint32_t filter)
{
    object->textureMap = UseTexture(scene, file);
    object->material[1] = filter;
}

void WriteScenes(const std::string& dir, uint64_t seed)
{
    LogoScene(dir, seed);
    AlienCorridorScene(dir, seed);
    AlienBornScene(dir, seed);
    LightsScene(dir, seed);
    PaniScene(dir, seed);
    CubeScene(dir, seed);
    Lesby1Scene(dir, seed);
    Lesby3Scene(dir, seed);
    SuecideScene(dir, seed);
    Suecide2Scene(dir, seed);
    Hand3Scene(dir, seed);
}

}  // namespace kvordata
