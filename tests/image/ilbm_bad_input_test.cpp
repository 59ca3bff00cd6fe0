#include "image/ilbm_files.h"

#include <gtest/gtest.h>

namespace {

const std::vector<Colour> FOUR{{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}};

// A 16 × 1 two-plane picture that loads, with the BODY given.
Bytes WithBody(const Bytes& body, uint8_t compression)
{
    return Form({Chunk("BMHD", Bmhd(16, 1, 2, 0, compression)), Chunk("CMAP", Cmap(FOUR)), Chunk("BODY", body)});
}

// Small files that load, covering pad bytes, mask rows, both compressions,
// palette and true colour.
std::vector<Bytes> GoodFiles()
{
    std::vector<uint32_t> values(9 * 3);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = uint32_t(i * 0x1F3D5B) & 0xFFFFFF;
    std::vector<uint32_t> indices(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        indices[i] = values[i] & 3;
    return {
        Form({Chunk("BMHD", Bmhd(9, 3, 2, 1, 1)), Chunk("ANNO", {'a'}), Chunk("CMAP", Cmap(FOUR)),
              Chunk("BODY", BodyOf(indices, 9, 3, 2, true, true))}),
        Form({Chunk("BMHD", Bmhd(9, 3, 24, 0, 0)), Chunk("BODY", BodyOf(values, 9, 3, 24, false, false))}),
        Form({Chunk("BMHD", Bmhd(16, 1, 2)), Chunk("CMAP", Cmap(FOUR)), Chunk("BODY", {1, 2, 3, 4, 5}, false)}),
        WithBody({0xFF, 0x0F, 0x01, 0xAA, 0x55}, 1),
    };
}

TEST(IlbmBadInput, PalettePictureWithoutCmapBeforeItsBodyFailsInFifteenBitMode)
{
    const Bytes bmhd = Chunk("BMHD", Bmhd(16, 1, 2));
    const Bytes body = Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF});
    for (const Bytes& file : {Form({bmhd, body}), Form({bmhd, body, Chunk("CMAP", Cmap(FOUR))})}) {
        const Picture p = LoadFromMemory(file, 1);
        EXPECT_FALSE(p.loaded);
        EXPECT_EQ(p.width, 16);
        EXPECT_EQ(p.height, 1);
        // Indices need no colours.
        EXPECT_TRUE(LoadFromMemory(file, 0).loaded);
    }
}

TEST(IlbmBadInput, ByteRun1CodePassingItsRowFails)
{
    ASSERT_TRUE(LoadFromMemory(WithBody({0xFF, 0x0F, 1, 0xAA, 0x55}, 1), 1).loaded);
    // Rows are two bytes: a literal of three, a run of three, a run over two
    // rows, and code that ends before the last row is full.
    for (const Bytes& body : {Bytes{2, 1, 2, 3, 1, 0xAA, 0x55}, Bytes{0xFE, 0x0F, 1, 0xAA, 0x55},
                              Bytes{0xFD, 0x0F}, Bytes{0xFF, 0x0F, 0, 0xAA}}) {
        const Picture p = LoadFromMemory(WithBody(body, 1), 1);
        EXPECT_FALSE(p.loaded);
        EXPECT_EQ(p.width, 16);
    }
}

TEST(IlbmBadInput, PlaneCountsOtherThanOneToEightOrTwentyFourFail)
{
    for (uint32_t planes : {0u, 9u, 12u, 16u, 23u, 25u, 32u, 255u}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(8, 1, uint8_t(planes))), Chunk("CMAP", Cmap(FOUR)),
                                 Chunk("BODY", Bytes(2 * planes, 0xFF))});
        for (int32_t mode : {0, 1}) {
            const Picture p = LoadFromMemory(file, mode);
            EXPECT_FALSE(p.loaded) << planes << " planes";
            EXPECT_EQ(p.width, 8);
            EXPECT_EQ(p.height, 1);
        }
    }
}

TEST(IlbmBadInput, ZeroWidthOrHeightFails)
{
    for (const auto& [width, height] : {std::pair{0u, 4u}, std::pair{4u, 0u}, std::pair{0u, 0u}}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(width, height, 1)), Chunk("CMAP", Cmap(FOUR)),
                                 Chunk("BODY", Bytes(8, 0xFF))});
        const Picture p = LoadFromMemory(file, 1);
        EXPECT_FALSE(p.loaded);
        EXPECT_EQ(p.width, int32_t(width));
        EXPECT_EQ(p.height, int32_t(height));
    }
}

TEST(IlbmBadInput, PixelBufferBeyondFourGibibytesOrBeyondTheBodyFails)
{
    // 65535 × 65535 × 2 bytes does not fit in 32 bits.
    const Picture huge = LoadFromMemory(Form({Chunk("BMHD", Bmhd(65535, 65535, 1, 0, 1)),
                                              Chunk("CMAP", Cmap(FOUR)), Chunk("BODY", {0x81, 0})}),
                                        1);
    EXPECT_FALSE(huge.loaded);
    EXPECT_EQ(huge.width, 65535);
    EXPECT_EQ(huge.height, 65535);
    // 65535 × 32768 × 2 bytes fits, but a BODY of a few bytes cannot hold
    // 32768 rows, so nothing that large is allocated.
    EXPECT_FALSE(LoadFromMemory(Form({Chunk("BMHD", Bmhd(65535, 32768, 1, 0, 1)), Chunk("CMAP", Cmap(FOUR)),
                                      Chunk("BODY", {0x81, 0, 0x81, 0})}),
                                1)
                     .loaded);
}

TEST(IlbmBadInput, UnknownCompressionOrShortBmhdOrBodyBeforeBmhdFails)
{
    for (uint8_t compression : {2, 128, 255}) {
        const Picture p = LoadFromMemory(WithBody({0, 0, 0, 0}, compression), 1);
        EXPECT_FALSE(p.loaded);
        EXPECT_EQ(p.width, 16);
    }
    Bytes shortBmhd = Bmhd(16, 1, 2);
    shortBmhd.resize(19);
    EXPECT_FALSE(LoadFromMemory(Form({Chunk("BMHD", shortBmhd), Chunk("CMAP", Cmap(FOUR)),
                                      Chunk("BODY", {0, 0, 0, 0})}),
                                1)
                     .loaded);
    EXPECT_FALSE(LoadFromMemory(Form({Chunk("CMAP", Cmap(FOUR)), Chunk("BODY", {0, 0, 0, 0}),
                                      Chunk("BMHD", Bmhd(16, 1, 2))}),
                                1)
                     .loaded);
}

TEST(IlbmBadInput, BodyTooShortForItsRowsFails)
{
    ASSERT_TRUE(LoadFromMemory(WithBody({1, 2, 3, 4}, 0), 1).loaded);
    EXPECT_FALSE(LoadFromMemory(WithBody({1, 2, 3}, 0), 1).loaded);
    EXPECT_FALSE(LoadFromMemory(WithBody({}, 0), 1).loaded);
    EXPECT_FALSE(LoadFromMemory(WithBody({0xFF, 0x0F}, 1), 1).loaded);
}

TEST(IlbmBadInput, TruncatedFilesFailAtEveryLength)
{
    TempDir dir;
    for (const Bytes& file : GoodFiles()) {
        ASSERT_TRUE(LoadFromMemory(file, 1).loaded);
        ASSERT_TRUE(LoadFromFile(dir.Write("whole.iff", file), 1).loaded);
        for (size_t length = 0; length < file.size(); ++length) {
            const Bytes prefix(file.begin(), file.begin() + long(length));
            EXPECT_FALSE(LoadFromMemory(prefix, 1).loaded) << length << " of " << file.size();
            EXPECT_FALSE(LoadFromMemory(prefix, 0).loaded) << length << " of " << file.size();
            EXPECT_FALSE(LoadFromFile(dir.Write("prefix.iff", prefix), 1).loaded) << length << " of " << file.size();
        }
    }
}

TEST(IlbmBadInput, LengthsPastTheEndFail)
{
    TempDir dir;
    const Bytes good = WithBody({1, 2, 3, 4}, 0);
    // The FORM's length and the BODY's, each one and two bytes too long and
    // far beyond the data.
    const size_t formLength = 4;
    const size_t bodyLength = good.size() - 4 - 4;
    for (size_t at : {formLength, bodyLength}) {
        const uint32_t old = uint32_t(good[at]) << 24 | good[at + 1] << 16 | good[at + 2] << 8 | good[at + 3];
        for (uint32_t length : {old + 1, old + 2, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
            Bytes bad = good;
            SetBig32(bad, at, length);
            EXPECT_FALSE(LoadFromMemory(bad, 1).loaded) << at << " " << length;
            EXPECT_FALSE(LoadFromFile(dir.Write("bad.iff", bad), 1).loaded) << at << " " << length;
        }
    }
}

TEST(IlbmBadInput, FormTooShortForItsTypeOrEndingInsideAChunkHeaderFails)
{
    for (uint32_t length : {0u, 3u}) {
        Bytes file{'F', 'O', 'R', 'M'};
        PutBig32(file, length);
        file.insert(file.end(), {'I', 'L', 'B', 'M'});
        EXPECT_FALSE(LoadFromMemory(file, 1).loaded);
    }
    // Three stray bytes counted in the FORM after the last chunk.
    Bytes stray = WithBody({1, 2, 3, 4}, 0);
    stray.insert(stray.end(), {'A', 'N', 'N'});
    SetBig32(stray, 4, uint32_t(stray.size() - 8));
    EXPECT_FALSE(LoadFromMemory(stray, 1).loaded);
}

}  // namespace
