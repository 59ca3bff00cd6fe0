// No filler writes outside its buffer, whatever values reach it: huge, tiny
// and degenerate triangles, corners a hair past the screen's edges and far
// beyond them, extreme depths and map coordinates, odd texture sizes,
// through DrawTriangle directly and through the clipper. Under the
// sanitizer build, out-of-bounds reads and undefined arithmetic fail too.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

using namespace raster_test;

// Values that stress the set-up: the screen's edges and a hair past them,
// far-off and tiny values, and zero.
class ExtremeValues {
public:
    explicit ExtremeValues(uint32_t seed) : random_(seed) {}

    float Pick(std::initializer_list<float> specials, float low, float high)
    {
        const size_t pick = random_() % (specials.size() + 3);
        if (pick < specials.size())
            return (random_() & 1 ? 1.0f : -1.0f) * specials.begin()[pick];
        return std::uniform_real_distribution<float>(low, high)(random_);
    }
    float Coordinate(int32_t last)
    {
        const float hair = 1.0f / 4096.0f, l = float(last);
        if (random_() % 3 == 0)
            return Pick({-hair, l + hair, l + 0.999f, -0.999f, float(int32_t(random_() % uint32_t(last + 1)))}, 0, l);
        return Pick({1e30f, 1e7f, 70000.0f}, -2.0f * l, 3.0f * l);
    }
    float Any() { return Pick({1e30f, 1e-30f, 0.0f, 40000.0f, std::numeric_limits<float>::max()}, -500, 500); }
    CornerValues Corner()
    {
        return {Coordinate(WIDTH - 1), Coordinate(HEIGHT - 1), Pick({0.0f, 1e-30f, 1e30f}, -10.0f, 1000.0f),
                Any(), Any(), Any(), Any(), Bits()};
    }
    uint32_t Bits() { return uint32_t(random_()); }

private:
    std::mt19937 random_;
};

TEST(Robustness, NoMemberWritesOutsideItsBuffers)
{
    TestFrame frame, little(3, 2);
    std::vector<float> depth(frame.Size(), 0.0f);
    std::vector<uint8_t> mask(frame.Size(), 0), glow(frame.Size(), 0);
    std::vector<TexturePtr> textures;
    for (uint32_t shifts : {0x0000u, 0x0800u, 0x0209u, 0x0808u})
        textures.push_back(MakeTexture(shifts >> 8, shifts & 0xFF, shifts));
    TexturePtr odd = MakeTexture(3, 3, 45, false);
    odd->width = 10;  // not a power of two: no shifts or masks
    odd->widthShift = odd->heightShift = odd->widthMask = odd->heightMask = 0;
    odd->textureFlags = 0;
    textures.push_back(std::move(odd));

    // Draws `count` random triangles with the owner, directly and, on the
    // full frame, through the clipper.
    ExtremeValues values(1);
    const auto hammer = [&](const Entity* owner, int32_t phase, int count, bool small = false) {
        SetUpFrame(small ? little.Pixels() : frame.Pixels(), small ? 3 : WIDTH, small ? 2 : HEIGHT);
        Frame.depthBuffer = depth.data();
        Frame.shadowMask = mask.data();
        Frame.renderPhase = phase;
        Frame.fogStart = Frame.fogEnd = 10.0f;  // a degenerate ramp: level 0/0 at z = 10
        Frame.fogEndLevel = 255.0f;
        Frame.fogIndexBase = int32_t(values.Bits() & 64);
        for (int i = 0; i < count; ++i) {
            Vertex v[3] = {MakeVertex(values.Corner()), MakeVertex(values.Corner()), MakeVertex(values.Corner())};
            for (Vertex& corner : v) {
                corner.camera[0] = values.Any();
                corner.camera[1] = values.Any();
                corner.clipCode = uint16_t(values.Bits() & 0x3F);
            }
            const TriangleRef triangle{{&v[0], &v[1], &v[2]}, owner, values.Bits() & 0xFF, int8_t(i & 1 ? 1 : -1)};
            DrawTriangle(&triangle);
            if (!small)
                ClipAndDrawFace(&triangle);
        }
        ASSERT_TRUE(frame.GuardsIntact() && little.GuardsIntact()) << "phase " << phase;
    };
    for (uint32_t row = 0; row < 64 * 10; ++row) {  // every table row with and without fog, over every texture
        ObjectPtr object = MakeObject(row % 64, values.Bits());
        object->textureMap = textures[row % 5].get();
        object->environmentMap = textures[(row + 1) % 5].get();
        object->transparencyMap = (values.Bits() & 1) ? textures[(row + 2) % 5].get() : nullptr;
        object->material[1] = values.Bits() & 7;
        object->material[2] = values.Bits() & 1;
        object->correctionValue = values.Bits() % 40;
        SCOPED_TRACE("flags " + std::to_string(row % 64));
        hammer(object.get(), PHASE_MAIN, 12);
    }
    ObjectPtr plain = MakeObject(OBJECT_TEXTURE | OBJECT_PERSPECTIVE);
    plain->textureMap = textures[3].get();
    hammer(plain.get(), PHASE_DEPTH, 400);
    hammer(plain.get(), PHASE_SHADOWVOLUME, 400);
    hammer(plain.get(), PHASE_MAIN, 2000, true);
    VolumePtr volume = MakeVolume(0xFF406080, 2, 3, 4, 3);
    hammer(volume.get(), PHASE_MAIN, 400);
    volume->volumeFlags = 0;
    hammer(volume.get(), PHASE_MAIN, 200);
    ObjectPtr edge = MakeObject(OBJECT_GLOWEDGE | OBJECT_GLOW);
    edge->glowImage = static_cast<uint8_t*>(MemAlloc(65536, 1));
    edge->glowImageSize = 255;
    GlowBuffer buffer{};
    buffer.width = WIDTH;
    buffer.height = HEIGHT;
    buffer.pixels = glow.data();
    edge->glowBuffer = &buffer;
    for (int32_t phase : {PHASE_MAIN, PHASE_GLOW, PHASE_MAIN, PHASE_GLOW})
        hammer(edge.get(), phase, 150);
    edge->glowBuffer = nullptr;
}

}  // namespace
