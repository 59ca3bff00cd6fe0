// Lights and light volumes made by tag list. A light volume is a box drawn
// as three stacks of square slices, one across each axis, textured from a
// density grid of bytes.
#include "core/settings.h"
#include "effects/effects.h"

#include <cmath>
#include <cstdlib>

namespace kvor3d {

namespace {

constexpr uint32_t VOLUME_OBJECTFLAGS = OBJECT_GLOW | OBJECT_DOUBLESIDED;  // selects the effect fillers
constexpr int AXES = 3;

// Per stack: the in-plane axes P and Q of the corners' positions, and the
// axes of the corners' two voxel coordinates (mapU, mapV). The corners lie at
// (P, Q) = (−, −), (+, −), (+, +), (−, +) of the box's half sizes.
struct StackLayout {
    int p;
    int q;
    int u;
    int v;
};
constexpr StackLayout STACKS[AXES] = {{1, 2, 1, 2}, {0, 2, 2, 0}, {0, 1, 1, 0}};
constexpr int CORNER_P[4] = {-1, 1, 1, -1};
constexpr int CORNER_Q[4] = {-1, -1, 1, 1};

// What one SetVolume call asks for.
struct VolumeRequest {
    int32_t found;
    bool sizeGiven;
    float size[AXES];
    uint32_t counts[AXES];
    uint32_t colour;
    bool colourVoxels;
    bool densityVoxels;
};

bool Flag16(uintptr_t data)
{
    return (data & 0xFFFF) != 0;
}

bool ValidCount(uint32_t count)
{
    return count >= 1 && count <= VOLUME_MAXCOUNT && (count & (count - 1)) == 0;
}

uint32_t Log2(uint32_t count)
{
    uint32_t shift = 0;
    while ((count >> shift) > 1)
        ++shift;
    return shift;
}

// The byte tags replace only their byte: the value is limited to 0-255.
VolumeRequest ReadRequest(const VolumeEntity* volume, const TagItem* tags)
{
    VolumeRequest request{};
    for (int axis = 0; axis < AXES; ++axis) {
        request.size[axis] = volume->boxSize[axis];
        request.counts[axis] = volume->counts[axis];
    }
    request.colour = volume->volumeColour;
    request.colourVoxels = volume->colourVoxels != nullptr;
    request.densityVoxels = volume->densityVoxels != nullptr;
    if (!tags)
        return request;

    for (int axis = 0; axis < AXES; ++axis) {
        if (const TagItem* item = FindTag(TAG_VOLUME_SIZEX + axis, tags)) {
            request.size[axis] = TagDataFloat(item->data);
            request.sizeGiven = true;
            ++request.found;
        }
        if (const TagItem* item = FindTag(TAG_VOLUME_COUNTX + axis, tags)) {
            request.counts[axis] = uint32_t(item->data);
            ++request.found;
        }
    }
    if (const TagItem* item = FindTag(TAG_VOLUME_COLOUR, tags)) {
        request.colour = uint32_t(item->data);
        ++request.found;
    }
    const uint32_t byteTags[4] = {TAG_VOLUME_DENSITY, TAG_VOLUME_RED, TAG_VOLUME_GREEN, TAG_VOLUME_BLUE};
    for (int i = 0; i < 4; ++i) {
        if (const TagItem* item = FindTag(byteTags[i], tags)) {
            const int shift = 24 - 8 * i;
            request.colour = (request.colour & ~(0xFFu << shift)) | (uint32_t(item->data & 0xFF) << shift);
            ++request.found;
        }
    }
    if (const TagItem* item = FindTag(TAG_VOLUME_COLOURVOXELS, tags)) {
        request.colourVoxels = Flag16(item->data);
        ++request.found;
    }
    if (const TagItem* item = FindTag(TAG_VOLUME_DENSITYVOXELS, tags)) {
        request.densityVoxels = Flag16(item->data);
        ++request.found;
    }
    return request;
}

// New buffers of one SetVolume call, freed again when any of them fails.
struct VolumeBuffers {
    void* colourVoxels;
    uint8_t* densityVoxels;
    Vertex* stackVertices[AXES];
    Face* stackFaces[AXES];

    void Free()
    {
        MemFree(colourVoxels);
        MemFree(densityVoxels);
        for (int axis = 0; axis < AXES; ++axis) {
            MemFree(stackVertices[axis]);
            MemFree(stackFaces[axis]);
        }
    }
};

// Voxel offset of slice s of a stack: s shifted past the grid's lower axes.
uint32_t SliceOffset(const VolumeEntity* volume, int axis, uint32_t slice)
{
    uint32_t shift = 0;
    for (int lower = 0; lower < axis; ++lower)
        shift += volume->shifts[lower];
    return slice << shift;
}

// Face 2s has corners 0, 1, 2 of slice s, face 2s + 1 corners 0, 2, 3.
void LinkFaces(VolumeEntity* volume, int axis)
{
    Vertex* vertices = volume->stackVertices[axis];
    Face* faces = volume->stackFaces[axis];
    for (uint32_t slice = 0; slice < volume->counts[axis]; ++slice) {
        Vertex* corners = vertices + 4 * slice;
        Face& first = faces[2 * slice];
        Face& second = faces[2 * slice + 1];
        first.vertices[0] = &corners[0];
        first.vertices[1] = &corners[1];
        first.vertices[2] = &corners[2];
        second.vertices[0] = &corners[0];
        second.vertices[1] = &corners[2];
        second.vertices[2] = &corners[3];
        first.owner = second.owner = volume;
        first.effectOffset = second.effectOffset = SliceOffset(volume, axis, slice);
    }
}

// Corner positions, and the voxel coordinates: the slice's voxel offset in
// envRow, the two in-slice grid coordinates in mapU and mapV.
void BuildStack(VolumeEntity* volume, int axis)
{
    const StackLayout& layout = STACKS[axis];
    const float* size = volume->boxSize;
    const uint32_t* counts = volume->counts;
    for (uint32_t slice = 0; slice < counts[axis]; ++slice) {
        const float across = (size[axis] / float(counts[axis])) * float(slice) - size[axis] / 2;
        const float offset = float(SliceOffset(volume, axis, slice));
        for (int corner = 0; corner < 4; ++corner) {
            Vertex& vertex = volume->stackVertices[axis][4 * slice + corner];
            int signs[AXES] = {};
            signs[layout.p] = CORNER_P[corner];
            signs[layout.q] = CORNER_Q[corner];
            vertex.position[axis] = across;
            vertex.position[layout.p] = float(signs[layout.p]) * size[layout.p] / 2;
            vertex.position[layout.q] = float(signs[layout.q]) * size[layout.q] / 2;
            vertex.envRow = offset;
            vertex.mapU = signs[layout.u] > 0 ? float(counts[layout.u] - 1) : 0.0f;
            vertex.mapV = signs[layout.v] > 0 ? float(counts[layout.v] - 1) : 0.0f;
        }
    }
}

// Bytes in grid order (x fastest): the nearest integer to
// A × ((r / 2^31) × y / ny), single precision, with A the colour's top byte
// and r a fresh rand().
void FillDensity(VolumeEntity* volume)
{
    const float scale = float(volume->volumeColour >> 24);
    const uint32_t* counts = volume->counts;
    uint8_t* byte = volume->densityVoxels;
    for (uint32_t z = 0; z < counts[2]; ++z) {
        for (uint32_t y = 0; y < counts[1]; ++y) {
            for (uint32_t x = 0; x < counts[0]; ++x) {
                const float grain = float(std::rand()) / 2147483648.0f;
                *byte++ = uint8_t(std::lrint(scale * (grain * float(y) / float(counts[1]))));
            }
        }
    }
}

}  // namespace

// Stacks are rebuilt when a count changes; voxel buffers are allocated anew
// (zero-filled) when the counts change or when newly wanted, and freed when
// no longer wanted. Everything new is allocated before anything is changed,
// so that a failure leaves the volume as it was.
int32_t SetVolume(VolumeEntity* volume, const TagItem* tags)
{
    if (!volume || volume->kind != ENTITY_VOLUME)
        return 0;
    const VolumeRequest request = ReadRequest(volume, tags);
    bool restack = false;
    for (int axis = 0; axis < AXES; ++axis) {
        if (!ValidCount(request.counts[axis]))
            return SETVOLUME_FAILED;
        restack |= request.counts[axis] != volume->counts[axis] || !volume->stackVertices[axis] ||
                   !volume->stackFaces[axis];
    }

    const uint32_t voxels = request.counts[0] * request.counts[1] * request.counts[2];
    VolumeBuffers fresh{};
    bool failed = false;
    if (request.colourVoxels && (restack || !volume->colourVoxels)) {
        fresh.colourVoxels = MemAlloc(voxels, uint32_t(GetBytesPerPixel()));
        failed |= !fresh.colourVoxels;
    }
    if (request.densityVoxels && (restack || !volume->densityVoxels)) {
        fresh.densityVoxels = static_cast<uint8_t*>(MemAlloc(voxels, 1));
        failed |= !fresh.densityVoxels;
    }
    for (int axis = 0; restack && axis < AXES; ++axis) {
        fresh.stackVertices[axis] = static_cast<Vertex*>(MemAlloc(4 * request.counts[axis], sizeof(Vertex)));
        fresh.stackFaces[axis] = static_cast<Face*>(MemAlloc(2 * request.counts[axis], sizeof(Face)));
        failed |= !fresh.stackVertices[axis] || !fresh.stackFaces[axis];
    }
    if (failed) {
        fresh.Free();
        return SETVOLUME_FAILED;
    }

    if (fresh.colourVoxels || !request.colourVoxels) {
        MemFree(volume->colourVoxels);
        volume->colourVoxels = fresh.colourVoxels;
    }
    if (fresh.densityVoxels || !request.densityVoxels) {
        MemFree(volume->densityVoxels);
        volume->densityVoxels = fresh.densityVoxels;
    }
    for (int axis = 0; axis < AXES; ++axis) {
        volume->boxSize[axis] = request.size[axis];
        volume->counts[axis] = request.counts[axis];
        volume->shifts[axis] = Log2(request.counts[axis]);
        volume->masks[axis] = request.counts[axis] - 1;
    }
    if (restack) {
        // The volume's vertices and faces point into the stack of the last
        // frame; they are chosen again by the next frame.
        volume->vertexCount = 0;
        volume->vertices = nullptr;
        volume->faceCount = 0;
        volume->faces = nullptr;
        for (int axis = 0; axis < AXES; ++axis) {
            MemFree(volume->stackVertices[axis]);
            MemFree(volume->stackFaces[axis]);
            volume->stackVertices[axis] = fresh.stackVertices[axis];
            volume->stackFaces[axis] = fresh.stackFaces[axis];
            LinkFaces(volume, axis);
        }
    }
    if (restack || request.sizeGiven) {
        for (int axis = 0; axis < AXES; ++axis)
            BuildStack(volume, axis);
    }
    volume->volumeColour = request.colour;
    volume->objectFlags = VOLUME_OBJECTFLAGS;
    volume->volumeFlags = (volume->colourVoxels ? VOLUME_COLOURVOXELS : 0) |
                          (volume->densityVoxels ? VOLUME_DENSITYVOXELS : 0);
    if (volume->densityVoxels)
        FillDensity(volume);
    return request.found;
}

// The stack whose axis is most nearly along the view: a, b, c are how far
// the object's x, y and z axes point along camera z.
void SelectVolumeStack(VolumeEntity* volume)
{
    if (!volume)
        return;
    const float a = std::fabs(volume->matrix[2]);
    const float b = std::fabs(volume->matrix[6]);
    const float c = std::fabs(volume->matrix[10]);
    const int axis = b >= a && c < b ? 1 : b < a && c < a ? 0 : 2;
    const uint32_t n = volume->counts[axis];
    if (!volume->stackVertices[axis] || !volume->stackFaces[axis]) {
        volume->vertexCount = 0;
        volume->vertices = nullptr;
        volume->faceCount = 0;
        volume->faces = nullptr;
        return;
    }
    volume->vertexCount = 4 * n;
    volume->vertices = volume->stackVertices[axis];
    volume->faceCount = 2 * n;
    volume->faces = volume->stackFaces[axis];

    const uint32_t xs = volume->shifts[0];
    const uint32_t ys = volume->shifts[1];
    const uint32_t* masks = volume->masks;
    switch (axis) {
    case 0:
        volume->uShift = 16 - xs;
        volume->vShift = 16 - xs - ys;
        volume->uMask = masks[1] << xs;
        volume->vMask = masks[2] << (xs + ys);
        break;
    case 1:
        volume->uShift = 16 - xs - ys;
        volume->vShift = 16;
        volume->uMask = masks[2] << (xs + ys);
        volume->vMask = masks[0];
        break;
    default:
        volume->uShift = 16 - xs;
        volume->vShift = 16;
        volume->uMask = masks[1] << xs;
        volume->vMask = masks[0];
        break;
    }
}

Entity* CreateEntity(const TagItem* tags)
{
    const uintptr_t kind = tags ? GetTagData(TAG_ENTITY_KIND, 0, tags) : 0;
    Scene* scene = tags ? reinterpret_cast<Scene*>(GetTagData(TAG_ENTITY_SCENE, 0, tags)) : nullptr;
    Entity* entity;
    const char* name;
    if (kind == ENTITY_LIGHT) {
        entity = AllocRecord<LightEntity>();
        name = "light";
    } else if (kind == ENTITY_VOLUME) {
        entity = AllocRecord<VolumeEntity>();
        name = "volume";
    } else {
        return nullptr;
    }
    if (!entity)
        return nullptr;
    entity->kind = uint32_t(kind);
    entity->name = CopyName(name);
    entity->entityFlags = ENTITY_DRAWN;
    if (!entity->name) {
        MemFree(entity);
        return nullptr;
    }
    if (VolumeEntity* volume = VolumeOf(entity)) {
        const TagItem oneSlice[] = {
            {TAG_VOLUME_COUNTX, 1},
            {TAG_VOLUME_COUNTY, 1},
            {TAG_VOLUME_COUNTZ, 1},
            {TAG_DONE, 0},
        };
        if (SetVolume(volume, oneSlice) == SETVOLUME_FAILED) {
            FreeEntity(nullptr, entity);
            return nullptr;
        }
    }
    if (scene) {
        entity->next = scene->entities;
        scene->entities = entity;
        ++scene->entityCount;
        if (!AllocDrawLists(scene)) {
            scene->entities = entity->next;
            --scene->entityCount;
            FreeEntity(scene, entity);
            AllocDrawLists(scene);
            return nullptr;
        }
    }
    return entity;
}

}  // namespace kvor3d
