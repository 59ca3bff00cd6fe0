// Textures: creation from ILBM pictures and raw squares in memory or in
// files, who owns the pixels, shape flags, grey, bump and mip maps.
#include "core/settings.h"
#include "image/ilbm_files.h"
#include "scene/material.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t RAW_TEXELS = TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE;

// A one-plane picture whose pixel x, y is colour (x + y) & 1 of a CMAP of
// white and pure blue.
Bytes Checkerboard(uint32_t width, uint32_t height)
{
    std::vector<uint32_t> values(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            values[size_t(y) * width + x] = (x + y) & 1;
    return Form({Chunk("BMHD", Bmhd(width, height, 1)), Chunk("CMAP", Cmap({{255, 255, 255}, {0, 0, 255}})),
                 Chunk("BODY", BodyOf(values, width, height, 1, false, false))});
}

constexpr uint16_t WHITE15 = 0x7FFF;
constexpr uint16_t BLUE15 = 0x001F;

// Texture tag lists are built here; absent values are left out.
struct Request {
    const char* name = nullptr;
    const void* memory = nullptr;
    const uint64_t* size = nullptr;
    Scene* scene = nullptr;
    bool bump = false;
    bool grey = false;
    bool mip = false;
    const uint32_t* maxLevels = nullptr;
};

Texture* Create(const Request& request, int32_t* error)
{
    std::vector<TagItem> tags = {{TAG_TEXTURE_ERROR, TagPtr(error)}};
    if (request.name)
        tags.push_back({TAG_TEXTURE_NAME, TagPtr(request.name)});
    if (request.memory)
        tags.push_back({TAG_TEXTURE_MEMORY, TagPtr(request.memory)});
    if (request.size)
        tags.push_back({TAG_TEXTURE_MEMORYSIZE, uintptr_t(*request.size)});
    if (request.scene)
        tags.push_back({TAG_TEXTURE_SCENE, TagPtr(request.scene)});
    tags.push_back({TAG_TEXTURE_BUMPMAP, request.bump});
    tags.push_back({TAG_TEXTURE_GREYMAP, request.grey});
    tags.push_back({TAG_TEXTURE_MIPLEVELS, request.mip});
    if (request.maxLevels)
        tags.push_back({TAG_TEXTURE_MAXMIPLEVELS, *request.maxLevels});
    tags.push_back({TAG_DONE, 0});
    return CreateTexture(tags.data());
}

// A texture of width × height 15-bit texels built directly, owning them.
Texture* MadeTexture(uint32_t width, uint32_t height, const std::vector<uint16_t>& texels, uint32_t flags)
{
    auto* texture = static_cast<Texture*>(MemAlloc(1, sizeof(Texture)));
    texture->width = width;
    texture->height = height;
    texture->bytesPerPixel = 2;
    texture->pixels = MemAlloc(width * height, 2);
    std::memcpy(texture->pixels, texels.data(), texels.size() * 2);
    texture->textureFlags = flags;
    for (uint32_t s = 0; (1u << s) <= width; ++s)
        if ((1u << s) == width)
            texture->widthShift = s;
    for (uint32_t s = 0; (1u << s) <= height; ++s)
        if ((1u << s) == height)
            texture->heightShift = s;
    return texture;
}

uint16_t Rgb15(uint32_t r, uint32_t g, uint32_t b)
{
    return uint16_t(r << 10 | g << 5 | b);
}

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        scene_ = AllocScene();
        ASSERT_NE(scene_, nullptr);
    }
    void TearDown() override
    {
        FreeScene(scene_);
        SetPixelMode(1);
    }

    Scene* scene_ = nullptr;
    int32_t error_ = 7;
};

TEST_F(TextureTest, IlbmInMemoryBecomesFifteenBitTexels)
{
    const Bytes file = Checkerboard(4, 2);
    Request request;
    request.name = "checker";
    request.memory = file.data();
    request.scene = scene_;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(error_, 0);
    EXPECT_STREQ(texture->name, "checker");
    EXPECT_EQ(texture->width, 4u);
    EXPECT_EQ(texture->height, 2u);
    EXPECT_EQ(texture->bytesPerPixel, 2u);
    const auto* texels = static_cast<const uint16_t*>(texture->pixels);
    const std::vector<uint16_t> expected = {WHITE15, BLUE15, WHITE15, BLUE15, BLUE15, WHITE15, BLUE15, WHITE15};
    EXPECT_EQ(std::vector<uint16_t>(texels, texels + 8), expected);
    EXPECT_EQ(texture->textureFlags, TEXTURE_POWEROFTWO);
    EXPECT_EQ(texture->widthShift, 2u);
    EXPECT_EQ(texture->heightShift, 1u);
    EXPECT_EQ(texture->widthMask, 3u);
    EXPECT_EQ(texture->heightMask, 1u);
    EXPECT_EQ(scene_->textures, texture);
}

TEST_F(TextureTest, ShapeFlagsFollowTheSides)
{
    const Bytes wide = Checkerboard(256, 128);
    const Bytes odd = Checkerboard(100, 100);
    const Bytes square = Checkerboard(64, 64);
    Request request;
    request.scene = scene_;

    request.memory = wide.data();
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->textureFlags, TEXTURE_POWEROFTWO);
    EXPECT_EQ(texture->heightMask, 127u);

    request.memory = odd.data();
    texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->textureFlags, TEXTURE_SQUARE);
    EXPECT_EQ(texture->widthShift, 0u);
    EXPECT_EQ(PrepareMipLevels(texture, 4), 0);
    EXPECT_EQ(texture->mipTable, nullptr);

    request.memory = square.data();
    texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->textureFlags, TEXTURE_SQUARE | TEXTURE_POWEROFTWO);
}

TEST_F(TextureTest, RawSquareInMemoryStaysTheCallersMemory)
{
    std::vector<uint16_t> raw(RAW_TEXELS, 0x1234);
    raw[RAW_TEXELS - 1] = 0x0421;
    Request request;
    request.memory = raw.data();
    request.scene = scene_;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(error_, 0);
    EXPECT_EQ(texture->pixels, raw.data());
    EXPECT_EQ(texture->width, 256u);
    EXPECT_EQ(texture->textureFlags,
              TEXTURE_CALLERPIXELS | TEXTURE_256 | TEXTURE_SQUARE | TEXTURE_POWEROFTWO);
    // FreeScene (TearDown) frees the texture; freeing the vector's storage
    // through the engine would be reported by the sanitizer build.
}

TEST_F(TextureTest, MipLevelsOfCallerPixelsMoveIntoAnOwnedBlock)
{
    std::vector<uint16_t> raw(RAW_TEXELS, Rgb15(3, 5, 7));
    Request request;
    request.memory = raw.data();
    request.scene = scene_;
    request.mip = true;
    const uint32_t two = 2;
    request.maxLevels = &two;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->pixels, raw.data());
    EXPECT_EQ(texture->textureFlags & TEXTURE_CALLERPIXELS, 0u);
    EXPECT_TRUE(texture->textureFlags & TEXTURE_MIPLEVELS);
    EXPECT_EQ(texture->mipLevels, 2u);
    const auto* level2 = static_cast<const uint16_t*>(texture->mipTable[2]);
    EXPECT_EQ(level2[64 * 64 - 1], Rgb15(3, 5, 7));
    EXPECT_EQ(raw[0], Rgb15(3, 5, 7));
}

TEST_F(TextureTest, MisalignedRawMemoryIsCopied)
{
    std::vector<uint8_t> bytes(RAW_TEXELS * 2 + 1, 0);
    bytes[1] = 0x34;
    bytes[2] = 0x12;
    Request request;
    request.memory = bytes.data() + 1;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->pixels, bytes.data() + 1);
    EXPECT_EQ(texture->textureFlags & TEXTURE_CALLERPIXELS, 0u);
    uint16_t first;
    std::memcpy(&first, bytes.data() + 1, 2);
    EXPECT_EQ(static_cast<const uint16_t*>(texture->pixels)[0], first);
    FreeTexture(texture);
}

TEST_F(TextureTest, MemorySizeBoundsWhatIsRead)
{
    std::vector<uint16_t> raw(RAW_TEXELS, 0);
    const uint64_t shortRaw = RAW_TEXELS * 2 - 1;
    Request request;
    request.memory = raw.data();
    request.size = &shortRaw;
    request.scene = scene_;
    EXPECT_EQ(Create(request, &error_), nullptr);
    EXPECT_EQ(error_, -1);

    // A picture whose FORM claims more than the memory holds: exactly the
    // given bytes are copied, so any read past them is an overflow.
    const Bytes file = Checkerboard(16, 16);
    const uint64_t cut = file.size() - 1;
    std::vector<uint8_t> exact(file.begin(), file.end() - 1);
    request.memory = exact.data();
    request.size = &cut;
    EXPECT_EQ(Create(request, &error_), nullptr);
    EXPECT_EQ(error_, -1);
    EXPECT_EQ(scene_->textures, nullptr);
}

TEST_F(TextureTest, FilesAreReadAsPicturesOrRawSquares)
{
    TempDir dir;
    const std::string picture = dir.Write("picture.iff", Checkerboard(8, 8));
    std::vector<uint16_t> rawTexels(RAW_TEXELS, 0x0123);
    Bytes rawFile(reinterpret_cast<const uint8_t*>(rawTexels.data()),
                  reinterpret_cast<const uint8_t*>(rawTexels.data()) + RAW_TEXELS * 2);
    const std::string raw = dir.Write("raw.bin", rawFile);
    rawFile.pop_back();
    const std::string shortRaw = dir.Write("short.bin", rawFile);

    Request request;
    request.scene = scene_;
    request.name = picture.c_str();
    Texture* first = Create(request, &error_);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(static_cast<const uint16_t*>(first->pixels)[1], BLUE15);

    request.name = raw.c_str();
    Texture* second = Create(request, &error_);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->width, 256u);
    EXPECT_EQ(static_cast<const uint16_t*>(second->pixels)[RAW_TEXELS - 1], 0x0123);
    EXPECT_EQ(second->textureFlags & TEXTURE_CALLERPIXELS, 0u);
    EXPECT_EQ(first->next, second);  // appended at the end

    for (const std::string& bad : {shortRaw, dir.Path("missing.iff")}) {
        error_ = 7;
        request.name = bad.c_str();
        EXPECT_EQ(Create(request, &error_), nullptr) << bad;
        EXPECT_EQ(error_, -1);
    }
    EXPECT_EQ(second->next, nullptr);
}

TEST_F(TextureTest, WithoutNameOrMemoryNothingIsMade)
{
    EXPECT_EQ(Create(Request{}, &error_), nullptr);
    EXPECT_EQ(error_, -1);
}

TEST_F(TextureTest, FindTextureMatchesWholeNamesOnly)
{
    const Bytes file = Checkerboard(2, 2);
    Request request;
    request.memory = file.data();
    request.scene = scene_;
    request.name = "stone";
    Texture* stone = Create(request, &error_);
    request.name = "stone2";
    Texture* stone2 = Create(request, &error_);
    request.name = "stone";
    Create(request, &error_);
    EXPECT_EQ(FindTexture(scene_, "stone"), stone);
    EXPECT_EQ(FindTexture(scene_, "stone2"), stone2);
    EXPECT_EQ(FindTexture(scene_, "ston"), nullptr);
    EXPECT_EQ(FindTexture(nullptr, "stone"), nullptr);
}

TEST_F(TextureTest, GreyMapAveragesTheChannelsWidenedToEightBits)
{
    Texture* texture = MadeTexture(4, 1, {Rgb15(31, 0, 0), Rgb15(31, 31, 31), Rgb15(1, 2, 3), 0}, 0);
    ASSERT_EQ(BuildGreyMap(texture), 1);
    EXPECT_TRUE(texture->textureFlags & TEXTURE_GREYMAP);
    EXPECT_EQ(texture->greyMap[0], 82);   // 248 / 3
    EXPECT_EQ(texture->greyMap[1], 248);
    EXPECT_EQ(texture->greyMap[2], 16);   // (8 + 16 + 24) / 3
    EXPECT_EQ(texture->greyMap[3], 0);

    SetPixelMode(0);
    ASSERT_EQ(BuildGreyMap(texture), 1);  // 8-bit mode: the map stays zero
    EXPECT_EQ(texture->greyMap[1], 0);
    FreeTexture(texture);
}

TEST_F(TextureTest, GreyMapTagBuildsItOnCreation)
{
    const Bytes file = Checkerboard(2, 1);
    Request request;
    request.memory = file.data();
    request.grey = true;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->greyMap[0], 248);
    EXPECT_EQ(texture->greyMap[1], 82);
    FreeTexture(texture);
}

// Index picture, 8-bit mode: p(x, y) = the index. The high byte is the
// halved difference above minus below, the low byte left minus right, each
// a signed byte; edge pixels repeat.
TEST_F(TextureTest, BumpMapHoldsHalvedVerticalAndHorizontalDifferences)
{
    SetPixelMode(0);
    const std::vector<uint32_t> indices = {
        0, 10, 20,
        40, 50, 60,
        80, 90, 100,
    };
    const Bytes file = Form({Chunk("BMHD", Bmhd(3, 3, 7)), Chunk("BODY", BodyOf(indices, 3, 3, 7, false, false))});
    Request request;
    request.memory = file.data();
    request.bump = true;
    Texture* texture = Create(request, &error_);
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(texture->textureFlags & TEXTURE_BUMPMAP);
    const auto pair = [](int32_t vertical, int32_t horizontal) {
        return uint16_t(uint8_t(int8_t(vertical)) << 8 | uint8_t(int8_t(horizontal)));
    };
    EXPECT_EQ(texture->bumpMap[4], pair((10 - 90) / 2, (40 - 60) / 2));  // centre
    EXPECT_EQ(texture->bumpMap[0], pair((0 - 40) / 2, (0 - 10) / 2));    // top left: up and left repeat
    EXPECT_EQ(texture->bumpMap[8], pair((60 - 100) / 2, (90 - 100) / 2)); // bottom right
    EXPECT_EQ(texture->bumpMap[4], 0xD8F6);
    FreeTexture(texture);
}

TEST_F(TextureTest, MipLevelsAverageTwoByTwoTexelsWithRounding)
{
    // Level 0, 4 × 2. Each 2 × 2 block tests one rounding case per channel:
    // red sums 1 + 1 = 2 → 0 and green 3 + 1 = 4 → 1 in the left block;
    // red 7 + 1 → 2 and blue 124 + 1 → 31 in the right one.
    const std::vector<uint16_t> texels = {
        Rgb15(0, 1, 0), Rgb15(1, 1, 0), Rgb15(2, 0, 31), Rgb15(2, 0, 31),
        Rgb15(0, 1, 0), Rgb15(0, 0, 0), Rgb15(2, 0, 31), Rgb15(1, 0, 31),
    };
    Texture* texture = MadeTexture(4, 2, texels, TEXTURE_POWEROFTWO);
    void* before = texture->pixels;
    ASSERT_EQ(PrepareMipLevels(texture, 65535), 1);
    EXPECT_EQ(texture->mipLevels, 1u);  // limited by the height's log2
    EXPECT_TRUE(texture->textureFlags & TEXTURE_MIPLEVELS);
    EXPECT_NE(texture->pixels, before);
    const auto* block = static_cast<const uint16_t*>(texture->pixels);
    EXPECT_EQ(texture->mipTable[0], texture->pixels);
    EXPECT_EQ(texture->mipTable[1], block + 8);
    EXPECT_EQ(std::vector<uint16_t>(block, block + 8), texels);
    EXPECT_EQ(block[8], Rgb15(0, 1, 0));
    EXPECT_EQ(block[9], Rgb15(2, 0, 31));

    // Preparing again rebuilds from level 0.
    ASSERT_EQ(PrepareMipLevels(texture, 0), 1);
    EXPECT_EQ(texture->mipLevels, 0u);
    EXPECT_EQ(static_cast<const uint16_t*>(texture->pixels)[7], Rgb15(1, 0, 31));
    FreeTexture(texture);
}

TEST_F(TextureTest, MipChainOfASquareEndsAtOneTexel)
{
    std::vector<uint16_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i)
        texels[i] = Rgb15(i, 0, 31 - i);
    Texture* texture = MadeTexture(4, 4, texels, TEXTURE_POWEROFTWO);
    ASSERT_EQ(PrepareMipLevels(texture, 65535), 1);
    EXPECT_EQ(texture->mipLevels, 2u);
    const auto* block = static_cast<const uint16_t*>(texture->pixels);
    EXPECT_EQ(texture->mipTable[1], block + 16);
    EXPECT_EQ(texture->mipTable[2], block + 20);
    // Level 1 texel 0 averages reds 0, 1, 4, 5 → (10 + 1) >> 2 = 2, blues
    // 31, 30, 27, 26 → 114 >> 2 = 28; level 2 averages level 1.
    EXPECT_EQ(block[16], Rgb15(2, 0, 28));
    EXPECT_EQ(block[19], Rgb15(12, 0, 18));
    EXPECT_EQ(block[20], Rgb15((2 + 4 + 10 + 12 + 1) >> 2, 0, (28 + 26 + 20 + 18 + 1) >> 2));
    FreeTexture(texture);
}

TEST_F(TextureTest, EightBitMipLevelsOnlyCountAndFlag)
{
    SetPixelMode(0);
    Texture* texture = MadeTexture(4, 4, std::vector<uint16_t>(16, 0), TEXTURE_POWEROFTWO);
    void* pixels = texture->pixels;
    ASSERT_EQ(PrepareMipLevels(texture, 1), 1);
    EXPECT_EQ(texture->mipLevels, 1u);
    EXPECT_TRUE(texture->textureFlags & TEXTURE_MIPLEVELS);
    EXPECT_EQ(texture->pixels, pixels);
    EXPECT_EQ(texture->mipTable, nullptr);
    FreeTexture(texture);
    FreeTexture(nullptr);
}

}  // namespace
