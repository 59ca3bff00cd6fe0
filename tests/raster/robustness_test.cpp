// No filler writes outside its buffer, whatever values reach it: huge,
// tiny and degenerate triangles, corners a hair past the screen's edges and
// far beyond them, extreme depths and map coordinates, odd texture sizes,
// through DrawTriangle directly and through the clipper. Run under the
// sanitizer build, out-of-bounds reads and undefined arithmetic fail too.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using namespace raster_test;

// Values that stress the set-up: edges of the screen and a hair past them,
// far-off and tiny values, and zero.
class ExtremeValues {
public:
    explicit ExtremeValues(uint32_t seed) : random_(seed) {}

    float Coordinate(int32_t last)
    {
        const float hair = 1.0f / 4096.0f;
        switch (random_() % 12) {
        case 0:
            return -hair;
        case 1:
            return float(last) + hair;
        case 2:
            return float(last) + 0.999f;
        case 3:
            return -0.999f;
        case 4:
            return Signed(1e30f);
        case 5:
            return Signed(1e7f);
        case 6:
            return Signed(70000.0f);
        case 7:
            return Uniform(-2.0f * float(last), 3.0f * float(last));
        case 8:
            return float(int32_t(random_() % uint32_t(last + 1)));
        default:
            return Uniform(0.0f, float(last));
        }
    }

    float Any()
    {
        switch (random_() % 8) {
        case 0:
            return Signed(1e30f);
        case 1:
            return Signed(1e-30f);
        case 2:
            return 0.0f;
        case 3:
            return Signed(40000.0f);
        case 4:
            return std::numeric_limits<float>::max();
        default:
            return Uniform(-500.0f, 500.0f);
        }
    }

    float Depth()
    {
        switch (random_() % 6) {
        case 0:
            return 0.0f;
        case 1:
            return Signed(1e-30f);
        case 2:
            return Signed(1e30f);
        default:
            return Uniform(-10.0f, 1000.0f);
        }
    }

    CornerValues Corner()
    {
        CornerValues c;
        c.x = Coordinate(WIDTH - 1);
        c.y = Coordinate(HEIGHT - 1);
        c.z = Depth();
        c.u = Any();
        c.v = Any();
        c.envRow = Any();
        c.envColumn = Any();
        c.lit = uint32_t(random_());
        return c;
    }

    uint32_t Bits() { return uint32_t(random_()); }

private:
    float Uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    float Signed(float magnitude) { return (random_() & 1) ? magnitude : -magnitude; }

    std::mt19937 random_;
};

class Robustness : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpFrame(frame.Pixels());
        Frame.depthBuffer = depth.data();
        Frame.shadowMask = mask.data();
        Frame.fogStart = 10.0f;
        Frame.fogEnd = 10.0f;  // a degenerate ramp: level 0/0 at z = 10
        Frame.fogStartLevel = 0.0f;
        Frame.fogEndLevel = 255.0f;
        textures.push_back(MakeTexture(0, 0, 41));
        textures.push_back(MakeTexture(8, 0, 42));
        textures.push_back(MakeTexture(2, 9, 43));
        textures.push_back(MakeTexture(8, 8, 44));
        TexturePtr odd = MakeTexture(3, 3, 45, true, false);
        odd->width = 10;  // not a power of two: no shifts or masks
        odd->widthShift = odd->heightShift = odd->widthMask = odd->heightMask = 0;
        odd->textureFlags = 0;
        textures.push_back(std::move(odd));
    }

    // Draws many random triangles with the owner, directly and clipped.
    void Hammer(const Entity* owner, ExtremeValues& values, int count)
    {
        for (int i = 0; i < count; ++i) {
            Vertex v[3] = {MakeVertex(values.Corner()), MakeVertex(values.Corner()), MakeVertex(values.Corner())};
            for (Vertex& corner : v) {
                corner.camera[0] = values.Any();
                corner.camera[1] = values.Any();
                corner.clipCode = uint16_t(values.Bits() & 0x3F);
            }
            const TriangleRef triangle{{&v[0], &v[1], &v[2]}, owner, values.Bits() & 0xFF, int8_t(i & 1 ? 1 : -1)};
            DrawTriangle(&triangle);
            ClipAndDrawFace(&triangle);
        }
        ASSERT_TRUE(frame.GuardsIntact());
    }

    TestFrame frame;
    std::vector<float> depth = std::vector<float>(size_t(WIDTH) * HEIGHT, 0.0f);
    std::vector<uint8_t> mask = std::vector<uint8_t>(size_t(WIDTH) * HEIGHT, 0);
    std::vector<TexturePtr> textures;
};

TEST_F(Robustness, NoMemberWritesOutsideTheFrame)
{
    ExtremeValues values(1);
    for (uint32_t flags = 0; flags < 64; ++flags) {
        for (uint32_t fog : {0u, 64u}) {
            for (size_t t = 0; t < textures.size(); ++t) {
                ObjectPtr object = MakeObject(flags, values.Bits());
                object->textureMap = textures[t].get();
                object->environmentMap = textures[(t + 1) % textures.size()].get();
                object->transparencyMap = (values.Bits() & 1) ? textures[(t + 2) % textures.size()].get() : nullptr;
                object->material[1] = values.Bits() & 7;
                object->material[2] = values.Bits() & 1;
                object->correctionValue = values.Bits() % 40;
                Frame.fogIndexBase = int32_t(fog);
                SCOPED_TRACE("flags " + std::to_string(flags | fog));
                Hammer(object.get(), values, 12);
            }
        }
    }
}

TEST_F(Robustness, ShadowPassAndEffectMembersStayInTheirBuffers)
{
    ExtremeValues values(2);
    ObjectPtr object = MakeObject(0);
    for (int32_t phase : {PHASE_DEPTH, PHASE_SHADOWVOLUME}) {
        Frame.renderPhase = phase;
        Hammer(object.get(), values, 400);
    }
    Frame.renderPhase = PHASE_MAIN;
    VolumePtr volume = MakeVolume(0xFF406080, 2, 3, 4, 3);
    Hammer(volume.get(), values, 400);
    volume->volumeFlags = 0;
    Hammer(volume.get(), values, 200);
}

TEST_F(Robustness, GlowEdgeStaysInTheFrameAndItsGlowBuffer)
{
    ExtremeValues values(3);
    ObjectPtr object = MakeObject(OBJECT_GLOWEDGE | OBJECT_GLOW);
    object->glowImage = static_cast<uint8_t*>(MemAlloc(65536, 1));
    object->glowImageSize = 255;
    std::vector<uint8_t> glow(size_t(WIDTH) * HEIGHT);
    GlowBuffer buffer{};
    buffer.width = WIDTH;
    buffer.height = HEIGHT;
    buffer.pixels = glow.data();
    object->glowBuffer = &buffer;
    for (int32_t phase : {PHASE_MAIN, PHASE_GLOW, PHASE_MAIN, PHASE_GLOW}) {
        Frame.renderPhase = phase;
        Hammer(object.get(), values, 150);
    }
    object->glowBuffer = nullptr;
}

TEST_F(Robustness, SmallFramesAreSafe)
{
    ExtremeValues values(4);
    TestFrame small(3, 2);
    SetUpFrame(small.Pixels(), 3, 2);
    ObjectPtr object = MakeObject(OBJECT_TEXTURE | OBJECT_PERSPECTIVE);
    object->textureMap = textures[3].get();
    for (int i = 0; i < 2000; ++i) {
        Vertex v[3] = {MakeVertex(values.Corner()), MakeVertex(values.Corner()), MakeVertex(values.Corner())};
        const TriangleRef triangle{{&v[0], &v[1], &v[2]}, object.get(), 0, 1};
        DrawTriangle(&triangle);
    }
    EXPECT_TRUE(small.GuardsIntact());
}

}  // namespace
