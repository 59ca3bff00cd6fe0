// The geometry front end: per-frame constants, the camera and projection,
// the entity hierarchy, vertex transformation and lighting, and the
// background fill. The rasteriser reads what this stage leaves in
// `FrameConstants` and in the vertices' working fields.
#pragma once

#include "../display/display.h"
#include "../scene/scene.h"

#include <cstdint>

namespace kvor3d {

// ---- Frame constants ---------------------------------------------------------

struct FrameConstants {
    int32_t width;             // the view's size in pixels
    int32_t height;
    int32_t centreX;           // width >> 1
    int32_t centreY;           // height >> 1
    float fieldOfView;         // the camera's, degrees, horizontal
    float focal;               // width / tan(fieldOfView / 2) / 2
    float nearZ;               // near and far planes in camera z
    float farZ;
    float nearScale;           // focal / nearZ, or 100.0 when nearZ <= 0
    float farScale;            // focal / farZ, or 100.0 when farZ <= 0
    uint16_t* target;          // pixel 0 of the buffer drawn into
    int32_t ambientLevel8;     // the ambient level as 0..255
    uint32_t ambientGrey;      // ambientLevel8 in all three bytes, 0x00NNNNNN
    int32_t ambientR;
    int32_t ambientG;
    int32_t ambientB;
    float vertexColourScale;   // the scene's ambientValue2
    float fogStart;            // fog start and end depth
    float fogEnd;
    float fogStartLevel;       // fog levels 0..255 at start and end
    float fogEndLevel;
    uint32_t fogColour;        // 0x00RRGGBB
    int32_t renderPhase;       // the render pass's current phase
    int32_t fogIndexBase;      // 64 with fog on, else 0: added to the filler index
    float* depthBuffer;        // the view's depth buffer and shadow mask during the shadow
    uint8_t* shadowMask;       // pass: written by the render pass, read by their fillers
};

// Written by PrepareScene (renderPhase and fogIndexBase by RenderScene); read by
// the transformation stages, the polygon set-up and every filler.
extern FrameConstants Frame;

// ---- Conversions ---------------------------------------------------------------

// int() of the pipeline: truncation toward zero. Values beyond the 32-bit
// range saturate and NaN gives 0, so that no conversion is undefined.
inline int32_t TruncToInt(double value)
{
    if (value > -2147483649.0 && value < 2147483648.0)
        return static_cast<int32_t>(value);
    if (value >= 2147483648.0)
        return INT32_MAX;
    return value < 0 ? INT32_MIN : 0;
}

inline int32_t TruncToInt(float value)
{
    return TruncToInt(static_cast<double>(value));
}

// ---- Frame ---------------------------------------------------------------------

// Vertex clip codes (the vertex's clipCode).
constexpr uint16_t CLIP_LEFT = 0x01;    // screen x < 0
constexpr uint16_t CLIP_RIGHT = 0x02;   // screen x > width − 1
constexpr uint16_t CLIP_TOP = 0x04;     // screen y < 0
constexpr uint16_t CLIP_BOTTOM = 0x08;  // screen y > height − 1
constexpr uint16_t CLIP_NEAR = 0x10;    // camera z < nearZ
constexpr uint16_t CLIP_FAR = 0x20;     // camera z > farZ

// Light flags the pipeline rewrites every frame: the clip codes.
constexpr uint32_t LIGHT_CLIPCODES = 0xFC000000;

// Background modes (scene flags & SCENE_BACKGROUNDMODE).
constexpr uint32_t BACKGROUND_COLOUR = 0x000;
constexpr uint32_t BACKGROUND_IMAGE = 0x100;
constexpr uint32_t BACKGROUND_FLOOR = 0x200;
constexpr uint32_t BACKGROUND_SKY = 0x300;
constexpr uint32_t BACKGROUND_FLOORSKY = 0x400;

// width / tan(fieldOfView / 2) / 2, the field of view in degrees.
float FocalLength(int32_t width, float fieldOfView);

// The first steps of PrepareScene: size, centre, field of view, target
// buffer, ambient values, focal length, fog values, near and far planes.
// A camera that is not a camera entity leaves the constants unchanged.
void SetFrameConstants(Scene* scene, Entity* camera, const XView* view);

// Frame constants, every entity's object-to-camera matrix, and the
// transformation and projection of every drawn object, morph object and
// light volume, with the clip codes of every drawn light; then the scene's
// draw list, sorted farthest first (BuildDrawList and SortDrawList,
// pass.h). A null camera stands for the scene's own.
void PrepareScene(Scene* scene, Entity* camera, XView* view);

// How the tiled image, the floor and sky, the point lights and the vertex transformation are
// worked out: eight pixels or vertices at a time (with AVX2 where the
// processor has it), or one at a time. Both give the same results.
enum class FrontEndPath { WIDE, ONE_BY_ONE };

// Fills the buffer drawn into (buffer B of a double-buffered view, else the
// current buffer) with the scene's background.
void DrawBackground(Scene* scene, XView* view, FrontEndPath path = FrontEndPath::WIDE);

// ---- Matrices ------------------------------------------------------------------
// 4 × 4 floats, row-major, used with row vectors: (x, y, z, 1) × M, so row 3
// holds the translation. Angles are radians.

void MatrixMultiply(float* a, const float* b);  // a ← a × b
void MatrixRotateY(float* m, double t);
void MatrixRotateX(float* m, double t);
void MatrixRotateZ(float* m, double t);
void MatrixTranslate(float* m, float x, float y, float z);
void MatrixScale(float* m, float x, float y, float z);

// World matrices of the chain from `first` on, each entity's parents before
// it and each once (entities already marked ENTITY_MATRIXDONE are kept).
void ComputeEntityMatrices(Entity* first);

// The camera's view matrix: T(−position) × Ry × Rx × Rz of its rotation.
void CameraMatrix(const Entity* camera, float* m);

// Clears every matrix-done bit, computes the world matrices, stores the
// camera's view matrix in its matrix and turns every entity's matrix into its
// object-to-camera matrix with unit rows.
void BuildViewMatrix(Scene* scene, Entity* camera);

// ---- Vertices and lights ----------------------------------------------------

// Screen position and clip code of a vertex from its camera position.
void ProjectVertex(Vertex* vertex);

// Screen position and depth of a light from its object-to-camera matrix;
// returns and stores its lightFlags with the new clip codes.
uint32_t ProjectLight(LightEntity* light);

// Camera positions and projection of the object's vertices.
void TransformVertices(ObjectEntity* object, FrontEndPath path = FrontEndPath::WIDE);

// As TransformVertices, with environment-map coordinates and, for shaded
// objects, camera normals and the lit colour's base.
void TransformVerticesEnv(ObjectEntity* object, FrontEndPath path = FrontEndPath::WIDE);

// Camera-space normals and plane distances of the object's faces.
void TransformFaceNormals(ObjectEntity* object);

// floor(sqrt(q)), exact for every q.
uint32_t IntegerSquareRoot(uint64_t q);

// Adds the scene's point lights to the lit colours of shaded objects.
void LightVertices(Scene* scene, FrontEndPath path = FrontEndPath::WIDE);

}  // namespace kvor3d
