// Time per pixel of every span filler on a 320 × 200 frame: a full-screen
// pair of triangles, and a mesh of small triangles (about 16 pixels each)
// over the same screen. Measured in the same run: a memset of the frame,
// and for each member the simplest loop that produces its pixels (rows of
// pixels from a start value and constant steps, with no edge work).
#include "core/settings.h"
#include "render/raster.h"
#include "render/spans.h"
#include "scene/material.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

constexpr int32_t WIDTH = 320;
constexpr int32_t HEIGHT = 200;
constexpr int32_t PIXELS = WIDTH * HEIGHT;
constexpr float TEXELS_PER_PIXEL = 2.5f;  // mip level 1
constexpr float ENV_PER_PIXEL = 0.9f;
constexpr int32_t MESH_COLUMNS = 56;      // 56 × 35 cells of two triangles: about 16 pixels each
constexpr int32_t MESH_ROWS = 35;
constexpr uint32_t PIECE_SHIFT = 4;

// Every value a filler reads, as one smooth function of the screen point,
// so that the full-screen pair, the mesh and the simple loops draw alike.
Vertex VertexAt(float x, float y)
{
    Vertex v{};
    v.screenX = x;
    v.screenY = y;
    v.camera[2] = 10.0f + x / 32.0f + y / 40.0f;
    v.mapU = y * TEXELS_PER_PIXEL;
    v.mapV = x * TEXELS_PER_PIXEL;
    v.envRow = y * ENV_PER_PIXEL;
    v.envColumn = x * ENV_PER_PIXEL;
    v.litColour = (uint32_t(x * 0.75f) << 16) | (uint32_t(y) << 8) | 0x80;
    return v;
}

// The values at the screen's origin, and their steps per pixel and per row.
struct Mapping {
    Interpolants start;
    Interpolants perPixel;
    Interpolants perRow;
};

Mapping MappingOf()
{
    Mapping m{};
    m.perPixel.v = uint32_t(ToFixed(TEXELS_PER_PIXEL));
    m.perRow.u = uint32_t(ToFixed(TEXELS_PER_PIXEL));
    m.perPixel.envColumn = uint32_t(ToFixed(ENV_PER_PIXEL));
    m.perRow.envRow = uint32_t(ToFixed(ENV_PER_PIXEL));
    m.perPixel.red = uint32_t(ToFixed(0.75f));
    m.perRow.green = uint32_t(ToFixed(1.0f));
    m.start.blue = uint32_t(ToFixed(128.0f));
    m.start.w = 0.1f;
    m.perPixel.w = -1.0e-4f;
    m.perRow.w = -1.5e-4f;
    m.perPixel.uw = 0.0f;
    m.perRow.uw = TEXELS_PER_PIXEL * 0.1f * 65536.0f;
    m.perPixel.vw = TEXELS_PER_PIXEL * 0.1f * 65536.0f;
    m.start.level = 40.0f;
    m.perPixel.level = 0.4f;
    m.perRow.level = 0.3f;
    return m;
}

// Everything the members draw with.
struct World {
    std::vector<uint16_t> frame = std::vector<uint16_t>(PIXELS, 0x1234);
    std::vector<float> depth = std::vector<float>(PIXELS, 0.01f);
    std::vector<uint8_t> mask = std::vector<uint8_t>(PIXELS, 0);
    std::vector<uint8_t> glow = std::vector<uint8_t>(PIXELS, 0);
    Texture* texture = nullptr;
    Texture* environment = nullptr;
    Texture* transparency = nullptr;
    VolumeEntity* volume = nullptr;
    std::vector<Vertex> pair;
    std::vector<Vertex> mesh;

    World()
    {
        SetPixelMode(1);
        texture = MakeTexture(8, 8, 1);
        environment = MakeTexture(8, 8, 2);
        transparency = MakeTexture(7, 7, 3);
        volume = MakeVolume();
        const float right = float(WIDTH - 1), bottom = float(HEIGHT - 1);
        pair = {VertexAt(0, 0), VertexAt(right, 0), VertexAt(right, bottom), VertexAt(0, bottom)};
        const float cellWidth = right / MESH_COLUMNS, cellHeight = bottom / MESH_ROWS;
        for (int32_t j = 0; j <= MESH_ROWS; ++j) {
            for (int32_t i = 0; i <= MESH_COLUMNS; ++i)
                mesh.push_back(VertexAt(float(i) * cellWidth, float(j) * cellHeight));
        }
    }

    static Texture* MakeTexture(uint32_t widthShift, uint32_t heightShift, uint32_t seed)
    {
        auto* t = static_cast<Texture*>(MemAlloc(1, sizeof(Texture)));
        t->width = 1u << widthShift;
        t->height = 1u << heightShift;
        t->widthShift = widthShift;
        t->heightShift = heightShift;
        t->widthMask = t->width - 1;
        t->heightMask = t->height - 1;
        t->bytesPerPixel = 2;
        t->textureFlags = TEXTURE_POWEROFTWO;
        auto* pixels = static_cast<uint16_t*>(MemAlloc(t->width * t->height, 2));
        for (uint32_t i = 0; i < t->width * t->height; ++i)
            pixels[i] = uint16_t((i * 40503u + seed * 977u) & 0x7FFF);
        t->pixels = pixels;
        BuildGreyMap(t);
        PrepareMipLevels(t, TEXTURE_DEFAULT_MIPLEVELS);
        return t;
    }

    static VolumeEntity* MakeVolume()
    {
        auto* v = static_cast<VolumeEntity*>(AllocEntity(ENTITY_VOLUME));
        v->objectFlags = OBJECT_GLOW | OBJECT_DOUBLESIDED;
        v->volumeColour = 0xC0FFC080;
        for (int i = 0; i < 3; ++i) {
            v->shifts[i] = 5;
            v->counts[i] = 32;
            v->masks[i] = 31;
        }
        v->densityVoxels = static_cast<uint8_t*>(MemAlloc(32 * 32 * 32, 1));
        for (uint32_t i = 0; i < 32 * 32 * 32; ++i)
            v->densityVoxels[i] = uint8_t(i * 37u);
        v->volumeFlags = VOLUME_DENSITYVOXELS;
        v->uShift = 16 - 5;
        v->vShift = 16;
        v->uMask = 31u << 5;
        v->vMask = 31;
        return v;
    }

    // Frame constants of the benchmark: main phase, fog from z 5 to 40.
    void UseFrame(int32_t phase, bool fog)
    {
        Frame = FrameConstants{};
        Frame.width = WIDTH;
        Frame.height = HEIGHT;
        Frame.target = frame.data();
        Frame.depthBuffer = depth.data();
        Frame.shadowMask = mask.data();
        Frame.renderPhase = phase;
        Frame.fogIndexBase = fog ? 64 : 0;
        Frame.fogStart = 5.0f;
        Frame.fogEnd = 40.0f;
        Frame.fogStartLevel = 20.0f;
        Frame.fogEndLevel = 230.0f;
        Frame.fogColour = 0x00A0B0C0;
    }

    void DrawPair(const Entity* owner)
    {
        const TriangleRef first{{&pair[0], &pair[1], &pair[2]}, owner, 0, 1};
        const TriangleRef second{{&pair[0], &pair[2], &pair[3]}, owner, 0, 1};
        DrawTriangle(&first);
        DrawTriangle(&second);
    }

    void DrawMesh(const Entity* owner)
    {
        const int32_t stride = MESH_COLUMNS + 1;
        for (int32_t j = 0; j < MESH_ROWS; ++j) {
            for (int32_t i = 0; i < MESH_COLUMNS; ++i) {
                const Vertex* a = &mesh[size_t(j * stride + i)];
                const Vertex* b = a + 1;
                const Vertex* c = a + stride + 1;
                const Vertex* d = a + stride;
                const TriangleRef first{{a, b, c}, owner, 0, 1};
                const TriangleRef second{{a, c, d}, owner, 0, 1};
                DrawTriangle(&first);
                DrawTriangle(&second);
            }
        }
    }
};

World& TheWorld()
{
    static World world;
    return world;
}

// ---- The simplest loops ------------------------------------------------------------

// Rows of member F from the mapping's start values and constant steps.
template <unsigned F>
void SimpleRows(const Surface& surface, uint16_t* frame)
{
    Mapping given = MappingOf();
    benchmark::DoNotOptimize(given);
    const Mapping m = given;
    const Surface s = surface;
    Interpolants row = m.start;
    FloatSteps levels(m.perPixel.level);
    for (int32_t y = 0; y < HEIGHT; ++y) {
        Interpolants q = row;
        uint16_t* d = frame + y * WIDTH;
        if constexpr (F & SPAN_PERSPECTIVE) {
            const int32_t n = 1 << s.pieceShift;
            const float length = float(n);
            q.u = uint32_t(TruncToInt(q.uw / q.w));
            q.v = uint32_t(TruncToInt(q.vw / q.w));
            Interpolants step = m.perPixel;
            for (int32_t x = 0; x < WIDTH; x += n) {
                q.uw += length * m.perPixel.uw;
                q.vw += length * m.perPixel.vw;
                const float wEnd = 1.0f / (length * m.perPixel.w + q.w);
                step.u = uint32_t(int32_t(uint32_t(TruncToInt(q.uw * wEnd)) - q.u) >> s.pieceShift);
                step.v = uint32_t(int32_t(uint32_t(TruncToInt(q.vw * wEnd)) - q.v) >> s.pieceShift);
                RunPixels<F, 1>(s, d + x, std::min(n, WIDTH - x), q, step, levels);
                q.w += length * m.perPixel.w;
            }
            row.uw += m.perRow.uw;
            row.vw += m.perRow.vw;
        } else {
            RunPixels<F, 1>(s, d, WIDTH, q, m.perPixel, levels);
        }
        StepPixel<F>(row, m.perRow);
        row.w += m.perRow.w;
    }
}

void SimpleFill(uint16_t* frame, uint16_t pixel)
{
    for (int32_t y = 0; y < HEIGHT; ++y)
        std::fill_n(frame + y * WIDTH, WIDTH, pixel);
}

template <bool SHADOW>
void SimpleDepth(World& world)
{
    Mapping m = MappingOf();
    benchmark::DoNotOptimize(m);
    float row = m.start.w;
    for (int32_t y = 0; y < HEIGHT; ++y) {
        float w = row;
        float* depth = world.depth.data() + y * WIDTH;
        uint8_t* mask = world.mask.data() + y * WIDTH;
        for (int32_t x = 0; x < WIDTH; ++x, w += m.perPixel.w) {
            if constexpr (SHADOW) {
                if (depth[x] < w)
                    mask[x] = uint8_t(mask[x] + 1);
            } else if (depth[x] < w) {
                depth[x] = w;
            }
        }
        row += m.perRow.w;
    }
}

// ---- Members -----------------------------------------------------------------------

struct Member {
    std::string name;
    uint32_t flags;
    uint32_t m1 = 0;
    uint32_t m2 = 0;
    bool transparencyMap = false;
    bool fog = false;
    int32_t phase = PHASE_MAIN;
    std::function<void(World&, const Surface&)> simple;
    uint32_t volumeFlags = 0;  // the light volume's, for the effect members
};

// The surface the simple loop of a member uses.
Surface SurfaceOf(World& world, const Member& member, const ObjectEntity& object)
{
    const uint32_t colour = member.flags == OBJECT_GLOW ? world.volume->volumeColour : object.colour;
    Surface s{};
    s.colour = PixelOfColour(colour);
    s.alpha = AlphaOf(colour);
    s.fogColour = PixelOfColour(0x00A0B0C0);
    s.shadeColour = object.colour;
    s.pieceShift = PIECE_SHIFT;
    const bool environment = (member.flags & OBJECT_ENVIRONMENT) != 0;
    const Texture* map = environment ? world.environment : world.texture;
    uint32_t level = 0;
    if (!environment && (member.m1 & FILTER_MIPMAP))
        level = MipLevel(0, ToFixed(TEXELS_PER_PIXEL), MipLevelsOf(map));
    s.texels = TexelMapOf(map, level);
    s.grey = GreyMapOf(world.transparency);
    s.voxels = {world.volume->densityVoxels, world.volume->uShift, world.volume->vShift, world.volume->uMask,
                world.volume->vMask};
    return s;
}

template <unsigned F>
std::function<void(World&, const Surface&)> Rows()
{
    return [](World& world, const Surface& s) { SimpleRows<F>(s, world.frame.data()); };
}

std::vector<Member> Members()
{
    const auto fill = [](World& world, const Surface& s) { SimpleFill(world.frame.data(), uint16_t(s.colour)); };
    const auto glow = [](World& world, const Surface&) { SimpleFill(world.frame.data(), GLOWEDGE_COVERED); };
    return {
        {"flat", 0, 0, 0, false, false, PHASE_MAIN, fill},
        {"transparent_flat", 1, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_ALPHA>()},
        {"map_transparent_flat", 1, 0, 0, true, false, PHASE_MAIN, Rows<SPAN_GREY>()},
        {"texture_nearest", 2, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL>()},
        {"texture_bilinear", 2, 1, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_BILINEAR>()},
        {"texture_mip", 2, 2, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL>()},
        {"texture_mip_bilinear", 2, 3, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_BILINEAR>()},
        {"transparent_texture", 3, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_ALPHA>()},
        {"map_transparent_texture", 3, 0, 0, true, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_GREY>()},
        {"environment_nearest", 4, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_ENVIRONMENT>()},
        {"environment_bilinear", 4, 0, 1, false, false, PHASE_MAIN, Rows<SPAN_ENVIRONMENT | SPAN_BILINEAR>()},
        {"transparent_environment", 5, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_ENVIRONMENT | SPAN_ALPHA>()},
        {"map_transparent_environment", 5, 0, 0, true, false, PHASE_MAIN,
         Rows<SPAN_ENVIRONMENT | SPAN_GREY>()},
        {"perspective_nearest", 18, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_PERSPECTIVE>()},
        {"perspective_bilinear", 18, 1, 0, false, false, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_BILINEAR>()},
        {"perspective_mip", 18, 2, 0, false, false, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_PERSPECTIVE>()},
        {"perspective_mip_bilinear", 18, 3, 0, false, false, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_BILINEAR>()},
        {"transparent_perspective", 19, 0, 0, false, false, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_ALPHA>()},
        {"map_transparent_perspective", 19, 0, 0, true, false, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_GREY>()},
        {"shaded", 32, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_SHADE>()},
        {"shaded_texture", 34, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_SHADE | SPAN_TEXEL>()},
        {"shaded_perspective", 50, 0, 0, false, false, PHASE_MAIN,
         Rows<SPAN_SHADE | SPAN_TEXEL | SPAN_PERSPECTIVE>()},
        {"fog_flat", 0, 0, 0, false, true, PHASE_MAIN, Rows<SPAN_FOG>()},
        {"fog_texture_nearest", 2, 0, 0, false, true, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_FOG>()},
        {"fog_texture_bilinear", 2, 1, 0, false, true, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_FOG | SPAN_BILINEAR>()},
        {"fog_texture_mip", 2, 2, 0, false, true, PHASE_MAIN, Rows<SPAN_TEXEL | SPAN_FOG>()},
        {"fog_texture_mip_bilinear", 2, 3, 0, false, true, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_FOG | SPAN_BILINEAR>()},
        {"fog_perspective_nearest", 18, 0, 0, false, true, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_FOG>()},
        {"fog_perspective_bilinear", 18, 1, 0, false, true, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_FOG | SPAN_BILINEAR>()},
        {"fog_perspective_mip", 18, 2, 0, false, true, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_FOG>()},
        {"fog_perspective_mip_bilinear", 18, 3, 0, false, true, PHASE_MAIN,
         Rows<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_FOG | SPAN_BILINEAR>()},
        {"depth", 0, 0, 0, false, false, PHASE_DEPTH,
         [](World& world, const Surface&) { SimpleDepth<false>(world); }},
        {"shadow_volume", 0, 0, 0, false, false, PHASE_SHADOWVOLUME,
         [](World& world, const Surface&) { SimpleDepth<true>(world); }},
        {"glow_edge", OBJECT_GLOWEDGE, 0, 0, false, false, PHASE_MAIN, glow},
        {"effect_plain", OBJECT_GLOW, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_ALPHA>()},
        {"effect_textured", OBJECT_GLOW, 0, 0, false, false, PHASE_MAIN, Rows<SPAN_VOXEL>(),
         VOLUME_DENSITYVOXELS},
    };
}

// The member's owner: an object with its flags and maps, or the light
// volume for the effect members.
const Entity* OwnerOf(World& world, const Member& member, ObjectEntity& object)
{
    if (member.flags == OBJECT_GLOW) {
        world.volume->volumeFlags = member.volumeFlags;
        return world.volume;
    }
    object.kind = ENTITY_OBJECT;
    object.objectFlags = member.flags;
    object.colour = 0x90C08040;
    object.textureMap = world.texture;
    object.environmentMap = world.environment;
    object.transparencyMap = member.transparencyMap ? world.transparency : nullptr;
    object.material[1] = member.m1;
    object.material[2] = member.m2;
    object.correctionValue = PIECE_SHIFT;
    return &object;
}

void CountPixels(benchmark::State& state)
{
    state.counters["ns_per_pixel"] =
        benchmark::Counter(PIXELS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Memset(benchmark::State& state)
{
    World& world = TheWorld();
    for (auto _ : state) {
        std::memset(world.frame.data(), 0x12, sizeof(uint16_t) * PIXELS);
        benchmark::DoNotOptimize(world.frame.data());
        benchmark::ClobberMemory();
    }
    CountPixels(state);
}
BENCHMARK(BM_Memset);

void Register(const Member& member)
{
    const auto object = std::make_shared<ObjectEntity>();
    benchmark::RegisterBenchmark(("large/" + member.name).c_str(), [member, object](benchmark::State& state) {
        World& world = TheWorld();
        world.UseFrame(member.phase, member.fog);
        const Entity* owner = OwnerOf(world, member, *object);
        for (auto _ : state) {
            world.DrawPair(owner);
            benchmark::ClobberMemory();
        }
        CountPixels(state);
    });
    benchmark::RegisterBenchmark(("small/" + member.name).c_str(), [member, object](benchmark::State& state) {
        World& world = TheWorld();
        world.UseFrame(member.phase, member.fog);
        const Entity* owner = OwnerOf(world, member, *object);
        for (auto _ : state) {
            world.DrawMesh(owner);
            benchmark::ClobberMemory();
        }
        CountPixels(state);
    });
    benchmark::RegisterBenchmark(("simple/" + member.name).c_str(), [member, object](benchmark::State& state) {
        World& world = TheWorld();
        world.UseFrame(member.phase, member.fog);
        OwnerOf(world, member, *object);
        const Surface surface = SurfaceOf(world, member, *object);
        for (auto _ : state) {
            member.simple(world, surface);
            benchmark::ClobberMemory();
        }
        CountPixels(state);
    });
}

const bool REGISTERED = [] {
    for (const Member& member : Members())
        Register(member);
    return true;
}();

}  // namespace
