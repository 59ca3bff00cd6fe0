// kvorimport: reads a model in one of the formats Assimp knows and writes
// it as a kvor3d scene file, with its textures as ILBM files beside it.
//
// Model space is the file's: right-handed, y up (or the axis --up names),
// faces counter-clockwise from their front. Engine space is x to the right,
// y down and z away from a camera at rest, also right-handed, so the two
// differ by a half turn about x: every transform is carried over by that
// turn (and the import's scale), which keeps windings and handedness.
#pragma once

#include "kvor3d.h"

#include <assimp/matrix4x4.h>
#include <assimp/scene.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvorimport {

constexpr char PROGRAM[] = "kvorimport";

enum class View { QUARTER, FRONT, BACK, LEFT, RIGHT, TOP, ISO };

struct Options {
    uint32_t maxTexture = 256;  // longest texture side, a power of two
    View view = View::QUARTER;
    bool viewGiven = false;     // --view replaces the file's camera
    double turntable = 0;       // seconds per turn; 0: no turntable
    uint32_t perspective = 3;   // log2 of the perspective span of textured objects
    bool bilinear = false;
    bool shaded = true;
    double scale = 0;           // 0: fit the model into MODEL_RADIUS
    char up = 'y';
};

// What the import took and what it left out, for the summary.
struct Summary {
    uint32_t meshes = 0, objects = 0, faces = 0, textures = 0, cameras = 0, lights = 0, keys = 0, morphs = 0;
    std::map<std::string, uint32_t> dropped;  // reason → how many times
    void Drop(const std::string& reason) { ++dropped[reason]; }
};

// ---- Transforms ------------------------------------------------------------

// Model space to engine space: the half turn about x after the turn that
// brings the --up axis to y, and a uniform scale.
struct Frame {
    aiMatrix4x4 basis;  // a rotation
    float scale = 1;
};

Frame MakeFrame(char up, float scale);
// A model-space transform as the same transform in engine space.
aiMatrix4x4 ToEngine(const Frame& frame, const aiMatrix4x4& m);
aiVector3D PointToEngine(const Frame& frame, const aiVector3D& p);
aiVector3D DirectionToEngine(const Frame& frame, const aiVector3D& d);

// An entity's position, rotation (degrees r0 about y, r1 about x, r2 about z
// as the engine turns entities) and size.
struct Pose {
    float position[3];
    float rotation[3];
    float size[3];
};

// Splits an engine-space transform into a pose; false when it has shear
// (or a zero scale) and no pose gives it. With `near`, the angles are the
// equivalent ones closest to near's, so that keys turn the short way.
bool Decompose(const aiMatrix4x4& m, Pose* pose, const Pose* near = nullptr);
// The camera's rotation (r0, r1, r2 as the engine turns its camera) that
// looks along `forward` with `down` toward the bottom of the picture.
void CameraAngles(aiVector3D forward, aiVector3D down, float rotation[3]);

// ---- Pictures ----------------------------------------------------------------

// An 8-bit RGBA picture.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Decodes PNG or JPEG bytes; the reason it cannot, or an empty string.
std::string DecodePicture(const uint8_t* bytes, size_t size, Picture* picture);
// Power-of-two sides of at most maxSide, from a box filter (or bilinear
// sampling where it enlarges).
Picture Resample(const Picture& source, uint32_t maxSide);
// Writes the picture (its colours rounded to 15 bits; with `alpha`, its
// alpha as a grey picture) as a 24-plane ILBM file through a temporary
// name; false when it cannot.
bool WritePicture(const Picture& picture, bool alpha, const std::string& path);
// Writes the bytes as the file `path` through a temporary name beside it;
// false, with nothing left behind, when it cannot.
bool WriteWhole(const std::vector<uint8_t>& bytes, const std::string& path);

// ---- The scene ---------------------------------------------------------------------

// The textures of one import: read once per name, written as
// OUTPUTSTEM_N.iff (and OUTPUTSTEM_Na.iff for an alpha channel).
struct TextureFiles {
    std::string modelFolder;
    std::string outputFolder;
    std::string stem;
    std::vector<std::string> written;  // paths, removed again when the import fails
};

// Builds the scene; null with a reason in `error` when nothing can be drawn
// or memory is short.
kvor3d::Scene* BuildScene(const aiScene* model, const Options& options, TextureFiles* files, Summary* summary,
                          std::string* error);

}  // namespace kvorimport
