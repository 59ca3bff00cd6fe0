// Scene data model: scenes, entities (null entities, objects, morph objects,
// lights, light volumes and the camera), vertices, faces, morph targets,
// key lists, light effects and glow buffers, with the scene-level operations
// that own and release them.
//
// Every record is allocated zero-filled from engine memory (MemAlloc) and
// released with MemFree. A scene owns everything reachable from it; textures
// and light effects are shared by name inside one scene, materials and glow
// buffers by their parameters, with user counts.
#pragma once

#include "../core/core.h"
#include "material.h"

#include <cstdint>

namespace kvor3d {

struct ColourTable;
struct Entity;
struct Face;
struct LightEffect;
struct MorphTarget;
struct ShadowEdge;  // a record of an object's shadow edge table, built by the render pass

// ---- Keys ------------------------------------------------------------------

// Key flags.
constexpr uint32_t KEY_INTERPOLATE = 0x1;   // the interval ending at this key is interpolated
constexpr uint32_t KEY_SPLINE = 0x2;        // ... along a spline (otherwise linearly)
constexpr uint32_t KEY_HIDDEN = 0x10000;    // motion keys: the entity is hidden from this key on

// Header of every key. Keys of one list are doubly linked in ascending time.
struct Key {
    Key* prev;
    Key* next;
    uint32_t time;      // ticks
    float k0;           // tension
    float k1;           // continuity
    float k2;           // bias
    uint32_t keyFlags;
};

// Head and tail of a doubly linked key list sorted by time.
struct KeyList {
    Key* head;
    Key* tail;
};

// Motion key of an entity (and of the camera).
struct EntityKey : Key {
    float position[3];
    float rotation[3];
    float size[3];
};

// Morph key: the target whose shape the object takes at this key.
struct MorphKey : Key {
    MorphTarget* target;
    char* targetName;         // owned; the target's name until the reader resolves it
};

// Light key: the light's intensity (lightValue1) at this key.
struct LightKey : Key {
    float value;
};

// ---- Geometry --------------------------------------------------------------

// One vertex of an object. Position and normal are object space; the rest is
// written by the pipeline every frame.
struct Vertex {
    float position[3];
    float normal[3];          // the negated mean of the adjacent face normals, length about 127
    float camera[3];          // camera-space position
    float cameraNormal[3];    // camera-space normal (shaded objects)
    float screenX;            // projected position
    float screenY;
    float envRow;             // environment-map coordinates in texels
    float envColumn;
    float mapU;               // texture coordinates of the face drawn last
    float mapV;
    uint32_t colour;          // vertex colour 0x00RRGGBB from the file's intensity
    uint32_t litColour;       // colour used by the shaded fillers, 0x00RRGGBB
    uint32_t vertexValue;     // file value; bits 0-1 are scratch bits of the glint pass
    uint16_t clipCode;
    uint16_t savedPixel;      // frame-buffer pixel saved under a glint marker
};

// A triangle of an object.
struct Face {
    Vertex* vertices[3];      // into the owner's vertex array, in file order
    float uv[3][2];           // texture coordinates u, v of each corner
    Entity* owner;            // the object that holds the face
    uint32_t faceFlags;
    ShadowEdge* edges[3];     // the face's edges in its object's shadow edge table
    uint32_t effectOffset;    // light-volume slices: the slice's voxel offset
    uint8_t edgeDirections[3];
    int8_t windingSign;       // +1 or −1 on the triangles of shadow quads
    float normal[3];          // unit face normal, object space
    float cameraNormal[3];    // camera-space face normal (shadow casters)
    float planeDistance;      // camera-space plane distance (shadow casters)
};

// What the draw list reads of a face read from a file, beside the faces so
// that listing an object streams 16 bytes a face rather than its records.
struct FaceCorners {
    uint32_t corners[3];      // the face's corners in the owner's vertex array
    uint32_t faceFlags;       // the face's flags as read; the clipped flag as the draw list last set it
};

// Shape of a morph object at one target: position and normal per vertex.
struct TargetVertex {
    float position[3];
    float normal[3];
};

// A morph target. Its vertex array has as many entries as the morph
// object's vertex array, or is null while the target has no shape yet.
struct MorphTarget {
    MorphTarget* next;
    char* name;                   // owned
    TargetVertex* targetVertices; // owned
};

// ---- Light effects and glow buffers ------------------------------------------

// One sprite of a light effect.
struct LightEffectElement {
    LightEffectElement* next;
    char* name;               // owned
    Texture* map;             // shared through the scene's textures
    uint32_t e0;              // position along the line through the screen centre, 16.16; sort key
    uint32_t e1;              // sprite scale, 16.16
    uint32_t e2;              // intensity, 16.16
    Material* material;       // in the scene's materials chain
    uint32_t e3;              // bits 0-1: material mode
};

// A flare drawn at lights and vertex glints. Elements are kept sorted by e0,
// largest first.
struct LightEffect {
    LightEffect* next;
    char* name;               // owned
    LightEffectElement* elements;
    uint32_t effectValue;
};

constexpr uint32_t GLOW_CLEARED = 0x1;  // glowFlags: cleared this frame

// A glow layer shared by the glowing objects of equal colour and equal g1.
struct GlowBuffer {
    GlowBuffer* next;
    uint32_t colour;          // the objects' colour
    float g1;                 // the objects' glow g1
    uint32_t width;
    uint32_t height;
    uint8_t* pixels;          // width × height glow weights, owned
    int32_t x0;               // bounding box of the area drawn this frame
    int32_t x1;
    int32_t y0;
    int32_t y1;
    Material* material;       // released with the buffer
    uint32_t users;
    uint32_t glowFlags;
};

// ---- Entities ----------------------------------------------------------------

// Entity kinds. Any kind not listed (0 included) is a null entity: a pure
// transform node.
constexpr uint32_t ENTITY_NULL = 0;
constexpr uint32_t ENTITY_OBJECT = 1;
constexpr uint32_t ENTITY_MORPH = 2;
constexpr uint32_t ENTITY_LIGHT = 3;
constexpr uint32_t ENTITY_VOLUME = 4;
constexpr uint32_t ENTITY_CAMERA = 666;

// Entity flags.
constexpr uint32_t ENTITY_MATRIXDONE = 0x00010000;  // world matrix computed this frame
constexpr uint32_t ENTITY_DRAWN = 0x01000000;       // the entity is drawn

// The head shared by every node of a scene.
struct Entity {
    Entity* next;             // next entity of the scene's chain
    uint32_t kind;
    char* name;               // owned
    float pivot[3];
    float position[3];
    float rotation[3];        // degrees: r0 about y, r1 about x, r2 about z
    float size[3];
    KeyList keys;             // motion keys (EntityKey)
    Entity* parent;
    char* parentName;         // owned; the parent's name until the reader resolves it
    float matrix[16];         // world matrix, then object-to-camera; the camera's view matrix
    float unitRows[3][3];     // rows 0-2 of matrix, scaled to unit length
    uint32_t entityFlags;
};

// Object flags (bits 0-5 also index the filler table).
constexpr uint32_t OBJECT_TRANSPARENT = 0x1;
constexpr uint32_t OBJECT_TEXTURE = 0x2;
constexpr uint32_t OBJECT_ENVIRONMENT = 0x4;
constexpr uint32_t OBJECT_BUMP = 0x8;
constexpr uint32_t OBJECT_PERSPECTIVE = 0x10;
constexpr uint32_t OBJECT_SHADED = 0x20;
constexpr uint32_t OBJECT_GLOWEDGE = 0x80;
constexpr uint32_t OBJECT_DOUBLESIDED = 0x100;
constexpr uint32_t OBJECT_DEPTHBIAS = 0x00010000;    // depth key + 32767
constexpr uint32_t OBJECT_SPRITEEFFECT = 0x00020000; // glints at the vertices
constexpr uint32_t OBJECT_LIGHTMAP = 0x00040000;     // private environment-map copy
constexpr uint32_t OBJECT_SHADOWCASTER = 0x00080000;
constexpr uint32_t OBJECT_VERTEXCOLOURS = 0x00800000;
constexpr uint32_t OBJECT_GLOWBUILT = 0x02000000;    // glow sprite built this frame
constexpr uint32_t OBJECT_GLOW = 0x80000000;

// A polygon object (kind 1); also the object part of morph objects and
// light volumes.
struct ObjectEntity : Entity {
    uint32_t vertexCount;
    Vertex* vertices;         // owned (a light volume's point into its current stack)
    uint32_t faceCount;
    Face* faces;              // owned (a light volume's point into its current stack)
    FaceCorners* faceCorners; // faceCount records, owned; null unless the faces were read from a file
                              // (whoever replaces the faces frees it and sets it null)
    uint32_t edgeCount;       // records in edgeTable
    ShadowEdge* edgeTable;    // shadow edge table of the render pass, owned
    uint32_t colour;          // 0xAARRGGBB; the top byte is a blend weight
    uint32_t colourIndex;     // colour-table entry nearest to the colour
    Texture* transparencyMap; // textures are owned by the scene's chain
    Texture* textureMap;
    Texture* environmentMap;
    Texture* bumpMap;
    uint32_t material[4];     // m0-m3
    uint8_t* environmentPixels; // the map's own pixels, or a private copy with OBJECT_LIGHTMAP (owned then)
    uint8_t* lookupTable;     // 65536-byte blend or tint table of 8-bit mode, owned
    LightEffect* spriteEffect;
    char* spriteEffectName;   // owned; the effect's name until the reader resolves it
    uint32_t spriteValue;
    uint32_t correctionValue; // log2 of the perspective-correction span
    float glow[2];            // g0, g1
    uint8_t* glowImage;       // 65536-byte glow sprite area, owned
    uint32_t glowImageSize;
    GlowBuffer* glowBuffer;   // shared, counted by the buffer's users
    uint32_t rdstValues[4];
    uint32_t objectFlags;
};

// A morph object (kind 2): an object whose vertex array is filled from its
// targets by the morph track.
struct MorphEntity : ObjectEntity {
    MorphTarget* currentTarget;   // the target whose shape the vertex array holds, or null
    uint32_t targetCount;
    MorphTarget* targets;         // in file order, owned
    KeyList morphKeys;            // MorphKey
};

// Light flags; bits 26-31 are clip codes written every frame.
constexpr uint32_t LIGHT_ON = 0x1;            // the light lights vertices
constexpr uint32_t LIGHT_SCALEEFFECT = 0x2;   // scale its effect by lightValue1
constexpr uint32_t LIGHT_SHADOWS = 0x4;       // casts shadows
constexpr uint32_t LIGHT_CLIPLEFT = 0x04000000;
constexpr uint32_t LIGHT_CLIPRIGHT = 0x08000000;
constexpr uint32_t LIGHT_CLIPTOP = 0x10000000;
constexpr uint32_t LIGHT_CLIPBOTTOM = 0x20000000;
constexpr uint32_t LIGHT_CLIPNEAR = 0x40000000;
constexpr uint32_t LIGHT_CLIPFAR = 0x80000000;

// One shadow quad: a silhouette edge's two ends and their extensions to the
// screen border, each as screen x, screen y and z.
struct ShadowQuad {
    float points[4][3];
};

// A block of a light's shadow quads.
struct ShadowQuadBlock {
    ShadowQuadBlock* next;
    uint32_t count;
    ShadowQuad* quads;        // owned
};

// A point light (kind 3).
struct LightEntity : Entity {
    uint32_t lightValue3;     // light colour 0x00RRGGBB
    float screenX;            // projected position and depth of this frame
    float screenY;
    float depth;
    uint16_t savedPixel;      // frame-buffer pixel saved under the flare marker
    LightEffect* effect;
    char* effectName;         // owned; the effect's name until the reader resolves it
    float lightValue1;        // intensity, animated by the light keys
    float lightValue2;        // range; 0 or less is unlimited
    KeyList keys2;            // LightKey
    uint32_t lightFlags;
    ShadowQuadBlock* shadowQuads; // owned
};

// The camera (kind 666), created with its scene.
struct CameraEntity : Entity {
    float fieldOfView;        // degrees, horizontal
    uint32_t cameraValue2;
};

constexpr uint32_t VOLUME_COLOURVOXELS = 0x1;   // volumeFlags
constexpr uint32_t VOLUME_DENSITYVOXELS = 0x2;

// A light volume (kind 4): three stacks of slices through a density grid.
// Its vertices and faces point into the stack drawn this frame.
struct VolumeEntity : ObjectEntity {
    float boxSize[3];         // edge lengths of the box, centred on the origin
    uint32_t counts[3];       // slices per axis, also the grid's dimensions
    uint32_t volumeColour;    // 0xAARRGGBB; the top byte is the density scale
    void* colourVoxels;       // owned, with VOLUME_COLOURVOXELS
    uint8_t* densityVoxels;   // owned, with VOLUME_DENSITYVOXELS
    uint32_t shifts[3];
    uint32_t masks[3];
    uint32_t uShift;          // slice texturing of the current stack
    uint32_t vShift;
    uint32_t uMask;
    uint32_t vMask;
    Vertex* stackVertices[3]; // 4 per slice, owned
    Face* stackFaces[3];      // 2 per slice, owned
    uint32_t volumeFlags;
};

// Safe views of an entity as the record of its kind; null for other kinds.
inline ObjectEntity* ObjectOf(Entity* entity)
{
    bool object = entity && (entity->kind == ENTITY_OBJECT || entity->kind == ENTITY_MORPH);
    return object ? static_cast<ObjectEntity*>(entity) : nullptr;
}

inline MorphEntity* MorphOf(Entity* entity)
{
    return entity && entity->kind == ENTITY_MORPH ? static_cast<MorphEntity*>(entity) : nullptr;
}

inline LightEntity* LightOf(Entity* entity)
{
    return entity && entity->kind == ENTITY_LIGHT ? static_cast<LightEntity*>(entity) : nullptr;
}

inline VolumeEntity* VolumeOf(Entity* entity)
{
    return entity && entity->kind == ENTITY_VOLUME ? static_cast<VolumeEntity*>(entity) : nullptr;
}

inline CameraEntity* CameraOf(Entity* entity)
{
    return entity && entity->kind == ENTITY_CAMERA ? static_cast<CameraEntity*>(entity) : nullptr;
}

// ---- Scene -------------------------------------------------------------------

// Scene flags.
constexpr uint32_t SCENE_BACKGROUNDMODE = 0x00000F00;  // 1 image, 2 floor, 3 sky, 4 floor and sky
constexpr uint32_t SCENE_FOGMODE = 0x00003000;
constexpr uint32_t SCENE_FOGNEAR = 0x00010000;         // fog start replaces the near plane
constexpr uint32_t SCENE_FOGFAR = 0x00020000;          // fog end replaces the far plane
constexpr uint32_t SCENE_SHADOWS = 0x01000000;

constexpr float SCENE_NEARCLIP = 1.0f;
constexpr float SCENE_FARCLIP = 32768.0f;

// Draw-list entry types.
constexpr uint32_t DRAW_DROPPED = 0;
constexpr uint32_t DRAW_FACE = 1;
constexpr uint32_t DRAW_LIGHT = 2;
constexpr uint32_t DRAW_GLINT = 3;
constexpr uint32_t DRAW_GLOWFACE = 4;
constexpr uint32_t DRAW_VOLUMEFACE = 5;

// A draw-list entry without a corners record.
constexpr uint32_t NO_CORNERS = 0xFFFFFFFF;

// One entry of a scene's draw or sprite list.
struct DrawEntry {
    uint32_t type;
    float key;                // depth key; a glint's corner index as 0.0, 1.0 or 2.0
    Face* face;               // faces, glints, glow and volume faces
    Entity* light;            // lights
    uint32_t corners = NO_CORNERS;  // an object's face listed without clipping: its record in listedCorners
};

// The owner of an object's face listed without clipping and its corners'
// screen positions (x, y) as they were when it was listed: the render pass
// can draw the face from them without reading it again.
struct ListedCorners {
    Entity* owner;
    float corners[3][2];
};

// Words of the draw-list sort's working space per entry: two pairs of key
// and index, and a copy of the entry.
constexpr uint32_t SORT_SCRATCH_WORDS = 4 + sizeof(DrawEntry) / sizeof(uint32_t);

struct Scene {
    Entity* camera;           // a CameraEntity, owned
    uint32_t entityCount;     // entities in the chain (the camera not counted)
    Entity* entities;         // in file order, owned
    Texture* textures;        // owned
    Material* materials;      // owned
    float nearClip;
    float farClip;
    uint32_t fog[5];          // colour, start depth, start weight (16.16), end depth, end weight (16.16)
    uint8_t* fogRamp;         // 32768 bytes from depth to fog amount, owned
    Material* fogMaterial;    // in the materials chain
    uint32_t backgroundColour;
    uint32_t backgroundIndex; // colour-table entry nearest to backgroundColour
    Texture* backgroundMap;   // textures are owned by the textures chain
    uint32_t backgroundValue2;
    uint32_t backgroundValue3;
    Texture* floorMap;
    Texture* skyMap;
    float ambientLevel;       // 0.0 to 1.0
    uint32_t ambientGrey;     // the level as a packed grey 0x00NNNNNN
    float ambientValue2;
    LightEffect* lightEffects;  // owned
    GlowBuffer* glowBuffers;    // owned
    uint32_t polygonCapacity;
    DrawEntry* drawList;        // polygonCapacity + 2 entries, owned
    uint32_t drawCount;         // entries in use this frame
    uint32_t* sortScratch;      // working space of the sort for sortCapacity entries, owned; may be null
    uint32_t sortCapacity;
    ListedCorners* listedCorners;  // polygonCapacity records, owned; may be null
    uint32_t spriteCapacity;
    DrawEntry* spriteList;      // spriteCapacity + 2 entries, owned
    ColourTable* colourTable;   // not owned
    Material* sceneMaterial;    // shade material, in the materials chain
    uint32_t flags;
};

// A zero-filled record from engine memory, or null.
template <typename T>
inline T* AllocRecord()
{
    return static_cast<T*>(MemAlloc(1, sizeof(T)));
}

// A copy of a NUL-terminated name in engine memory; null for a null name or
// when memory is short.
char* CopyName(const char* name);

// A new empty scene: near and far clip 1.0 and 32768.0, ambientValue2 1.0
// and its camera. Null when memory is short.
Scene* AllocScene();

// A new unlinked entity of `kind` with the record that kind needs: objects,
// morph objects and lights get size 1.0 and glow g1 1.0 (objects), every
// other kind size 0. Null when memory is short.
Entity* AllocEntity(uint32_t kind);

// Appends an entity to the scene's chain and counts it.
void AddEntity(Scene* scene, Entity* entity);

// Frees the scene and everything it owns; null is accepted.
void FreeScene(Scene* scene);

// Unlinks the entity from the scene's chain, clears every parent link to it
// and frees it. An entity that is not in the chain is left alone.
void RemoveEntity(Scene* scene, Entity* entity);

// Frees an entity and everything it owns. With a scene, its glow buffer is
// released too. The entity must not be in a chain any more.
void FreeEntity(Scene* scene, Entity* entity);

// Unlinks and frees a morph target and deletes every morph key that names
// it. A target that is not the object's is left alone.
void RemoveMorphTarget(MorphEntity* morph, MorphTarget* target);

// Moves other's entities, textures, materials, light effects and glow
// buffers to the end of scene's chains and resizes scene's draw lists.
// Other keeps only its camera and draw lists. Returns AllocDrawLists' result.
int MergeScene(Scene* scene, Scene* other);

// Reallocates the draw and sprite lists for the scene's entities: 1 or 0
// when an allocation failed (both lists are then null).
int AllocDrawLists(Scene* scene);

// The colour-table entries nearest to the background colour and to an
// object's colour.
void SetBackgroundIndex(Scene* scene, const ColourTable* table);
void SetColourIndex(ObjectEntity* object, const ColourTable* table);

// Gives every glowing object without a glow buffer the scene's buffer of
// equal colour and g1, creating it (with width × height pixels when both are
// non-zero) when none exists. On failure every glow buffer is released and
// the result is 0; otherwise 1.
int AttachGlowBuffers(Scene* scene, uint32_t width, uint32_t height);

// Detaches every object's glow buffer; buffers without users are freed.
void ReleaseGlowBuffers(Scene* scene);

// Detaches one object's glow buffer, freeing it when no users remain.
void DetachGlowBuffer(Scene* scene, ObjectEntity* object);

// Gives every glow buffer of another size fresh zero-filled pixels of
// width × height. 0 when an allocation failed (that buffer keeps its old
// pixels), else 1.
int ResizeGlowBuffers(Scene* scene, uint32_t width, uint32_t height);

// Face normals and vertex normals of an object, and of each target of a
// morph object. 0 when memory is short or a face corner lies outside the
// object's vertex array; else 1.
int ComputeNormals(ObjectEntity* object);

}  // namespace kvor3d
