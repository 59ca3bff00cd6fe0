// The shaded, the perspective-textured and the affine fills of faces in
// batches set up side by side against DrawFace one face at a time: the same
// pixels and the same map coordinates left in the corners, with the AVX2
// lanes and without, for random faces (some sharing a corner with the face
// before), corners off the frame or beyond the conversions' range, and full
// and partial batches. Each group has four objects of one kind and a fifth
// of its own; the opaque environment group's map is tall enough that the
// env row's bits above 24 choose texels, the others' maps are short; objects
// filter nearest, bilinearly and by mip levels, transparent ones blend by
// alpha and by a transparency map; the affine batch reports each face once,
// in order.
#include "raster/raster_support.h"
#include "support/checksum.h"

#include <gtest/gtest.h>

namespace raster_test {

const uint32_t GROUPS[][2] = {
    {OBJECT_SHADED, OBJECT_SHADED},
    {OBJECT_TEXTURE | OBJECT_PERSPECTIVE, OBJECT_TEXTURE | OBJECT_PERSPECTIVE},
    {OBJECT_SHADED | OBJECT_TEXTURE | OBJECT_PERSPECTIVE, OBJECT_TEXTURE | OBJECT_PERSPECTIVE},
    {OBJECT_ENVIRONMENT, OBJECT_ENVIRONMENT},
    {OBJECT_ENVIRONMENT | OBJECT_TRANSPARENT, OBJECT_ENVIRONMENT},
    {OBJECT_TEXTURE, OBJECT_SHADED | OBJECT_TEXTURE},
    {OBJECT_SHADED | OBJECT_TEXTURE, OBJECT_ENVIRONMENT | OBJECT_TRANSPARENT},
    {OBJECT_TEXTURE | OBJECT_TRANSPARENT, OBJECT_TEXTURE},
    {OBJECT_TEXTURE | OBJECT_TRANSPARENT, OBJECT_ENVIRONMENT | OBJECT_TRANSPARENT},
};

const float ODD[][3][2] = {
    {{300.0f, -2.5f}, {30000.0f, -1.0f}, {310.0f, 4.0f}},      // rows above the frame, spans past its columns
    {{-30000.0f, 10.0f}, {20.0f, 11.0f}, {-30000.0f, 12.0f}},  // spans far from the long edge's column
    {{10.0f, 60.0f}, {3.0e9f, 62.0f}, {11.0f, 66.0f}},         // beyond the conversions
    {{9.999f, 80.0f}, {10.001f, 84.0f}, {10.0011f, 88.0f}},    // gradients beyond 16.16
};

// Faces between the frames compared along the way: a multiple of every
// batch size below, so that each mode stops at the same faces.
constexpr size_t STEP = 40;

TEST(FaceBatches, SamePixelsAsDrawFaceWithAndWithoutLanes)
{
    const TexturePtr texture = MakeTexture(6, 5, 3);
    const TexturePtr tall = MakeTexture(6, 11, 4, false);
    for (const auto& group : GROUPS) {
        const uint32_t flags = group[0];
        std::vector<ObjectPtr> objects;
        for (uint32_t k = 0; k < 5; ++k) {
            objects.push_back(MakeObject(group[k / 4], 0x90F8B060 - 0x10100804 * k));
            objects[k]->environmentMap = flags == OBJECT_ENVIRONMENT ? tall.get() : texture.get();
            objects[k]->material[1] = flags == OBJECT_TEXTURE ? k : 0;  // nearest, bilinear, mip levels, both
            objects[k]->material[2] = k % 2;
            objects[k]->transparencyMap = k % 2 ? texture.get() : nullptr;
        }
        TriangleSource source(11);
        std::vector<Vertex> vertices(3 * 400);
        std::vector<Face> faces(400);
        std::vector<Face*> pointers;
        std::vector<TriangleRef> refs;
        for (size_t i = 0; i < faces.size(); ++i) {
            const CornerSet corners = source.Next();
            const size_t odd = faces.size() - 1 - i;
            for (int j = 0; j < 3; ++j) {
                Vertex& v = vertices[3 * i + j] = MakeVertex(corners[j]);
                v.screenX = odd < std::size(ODD) ? ODD[odd][j][0] : v.screenX;
                v.screenY = odd < std::size(ODD) ? ODD[odd][j][1] : v.screenY;
                faces[i].vertices[j] = &vertices[i % 4 == 1 && j == 0 && odd >= std::size(ODD) ? 3 * i - 2 : 3 * i + j];
                faces[i].uv[j][0] = i == 299 && j == 0 ? 1.0e6f : corners[j].u;  // u·w beyond 32 bits
                faces[i].uv[j][1] = corners[j].v;
            }
            faces[i].owner = objects[i % 5].get();
            objects[i % 5]->textureMap = texture.get();
            objects[i % 5]->correctionValue = uint32_t(i % 5);  // pieces of 1 to 16 pixels
            pointers.push_back(&faces[i]);
            refs.push_back(TriangleOf(faces[i]));
        }
        std::vector<float> reference;
        std::vector<uint64_t> referenceSteps;
        for (int mode = 0; mode < 5; ++mode) {  // one at a time, then lanes on and off in two batch sizes
            SpanVectors = (mode & 1) && __builtin_cpu_supports("avx2");
            const size_t batch = mode == 0 ? 1 : mode < 3 ? size_t(TEXTURE_BATCH) : 5;
            TestFrame frame;
            SetUpFrame(frame.Pixels());
            struct Reported {
                std::vector<size_t> faces;
                size_t first = 0;
            } reported;
            const TriangleDone report = [](void* to, int32_t i) {
                Reported& r = *static_cast<Reported*>(to);
                r.faces.push_back(r.first + size_t(i));
            };
            std::vector<uint64_t> steps;  // the frame every STEP faces, before later faces cover it
            for (size_t first = 0; first < faces.size(); first += batch) {
                const int32_t n = int32_t(std::min(faces.size() - first, batch));
                reported.first = first;
                mode == 0 ? DrawFace(pointers[first])
                : flags == OBJECT_SHADED      ? FillShadedBatch(&refs[first], n)
                : flags & OBJECT_PERSPECTIVE  ? FillPerspectiveTextureBatch(&pointers[first], n)
                                              : FillAffineBatch(&pointers[first], n, report, &reported);
                if ((first + size_t(n)) % STEP == 0)
                    steps.push_back(PixelChecksum(frame.Pixels(), frame.Size()));
            }
            referenceSteps = mode == 0 ? steps : referenceSteps;
            EXPECT_EQ(steps, referenceSteps) << flags << " mode " << mode;
            for (size_t i = 0; i < reported.faces.size(); ++i)
                EXPECT_EQ(reported.faces[i], i);
            const bool affine = flags != OBJECT_SHADED && !(flags & OBJECT_PERSPECTIVE);
            EXPECT_EQ(reported.faces.size(), mode > 0 && affine ? faces.size() : 0);
            std::vector<float> result(frame.Pixels(), frame.Pixels() + frame.Size());
            for (const Vertex& v : vertices)  // the corners' map coordinates after the pixels
                result.insert(result.end(), {v.mapU, v.mapV});
            reference = mode == 0 ? result : reference;
            EXPECT_TRUE(result == reference && frame.GuardsIntact()) << flags << " mode " << mode;
        }
    }
    SpanVectors = __builtin_cpu_supports("avx2");
}

}  // namespace raster_test
