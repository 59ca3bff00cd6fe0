#include "colour/palette_data.h"
#include "image/ilbm_files.h"

#include <gtest/gtest.h>

namespace {

const std::vector<Colour> GREYS{{255, 255, 255}, {8, 8, 8}, {7, 7, 7}, {0x12, 0x34, 0x56}};

// A 16 × 1 two-plane picture: plane 0 = 0x55 0x0F, plane 1 = 0x33 0xFF,
// giving the indices 0 1 2 3 0 1 2 3 2 2 2 2 3 3 3 3.
Bytes TwoPlaneRow(const Bytes& cmap)
{
    std::vector<Bytes> chunks{Chunk("BMHD", Bmhd(16, 1, 2))};
    if (!cmap.empty())
        chunks.push_back(Chunk("CMAP", cmap));
    chunks.push_back(Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF}));
    return Form(chunks);
}

TEST(IlbmLoad, PalettePixelsAreTheirCmapColourPackedToFifteenBits)
{
    const Picture p = LoadFromMemory(TwoPlaneRow(Cmap(GREYS)), 1);
    ASSERT_TRUE(p.loaded);
    EXPECT_EQ(p.width, 16);
    EXPECT_EQ(p.height, 1);
    // (255, 255, 255) → 0x7FFF, (8, 8, 8) → 0x0421, (7, 7, 7) → 0,
    // (0x12, 0x34, 0x56) → 0x10 << 7 | 0x30 << 2 | 0x56 >> 3 = 0x08CA.
    const std::vector<uint16_t> expected{0x7FFF, 0x0421, 0x0000, 0x08CA, 0x7FFF, 0x0421, 0x0000, 0x08CA,
                                         0x0000, 0x0000, 0x0000, 0x0000, 0x08CA, 0x08CA, 0x08CA, 0x08CA};
    EXPECT_EQ(p.words, expected);
}

TEST(IlbmLoad, PixelModeZeroGivesOneIndexBytePerPixelWithOrWithoutCmap)
{
    const std::vector<uint8_t> expected{0, 1, 2, 3, 0, 1, 2, 3, 2, 2, 2, 2, 3, 3, 3, 3};
    EXPECT_EQ(LoadFromMemory(TwoPlaneRow(Cmap(GREYS)), 0).indices, expected);
    EXPECT_EQ(LoadFromMemory(TwoPlaneRow({}), 0).indices, expected);
}

TEST(IlbmLoad, EightPlanesGiveEveryIndex)
{
    std::vector<uint32_t> values(256);
    std::vector<Colour> colours(256);
    std::vector<uint16_t> words(256);
    for (uint32_t i = 0; i < 256; ++i) {
        values[i] = (i * 37) & 0xFF;
        colours[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A)};
    }
    for (uint32_t i = 0; i < 256; ++i) {
        const Colour& c = colours[values[i]];
        words[i] = PackRgb15(c[0], c[1], c[2]);
    }
    for (bool byteRun1 : {false, true}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(32, 8, 8, 0, byteRun1)), Chunk("CMAP", Cmap(colours)),
                                 Chunk("BODY", BodyOf(values, 32, 8, 8, false, byteRun1))});
        const Picture indexed = LoadFromMemory(file, 0);
        EXPECT_EQ(indexed.indices, std::vector<uint8_t>(values.begin(), values.end()));
        EXPECT_EQ(LoadFromMemory(file, 1).words, words);
    }
}

TEST(IlbmLoad, Width100ReadsRowsOf14BytesAndDropsThe12PixelsBeyond)
{
    // Row 0 is all ones, padding included; row 1 only has its first pixel set.
    Bytes body(14, 0xFF);
    body.push_back(0x80);
    body.resize(28, 0x00);
    const std::vector<Bytes> head{Chunk("BMHD", Bmhd(100, 2, 1)), Chunk("CMAP", Cmap({{0, 0, 0}, {255, 255, 255}}))};
    std::vector<Bytes> chunks = head;
    chunks.push_back(Chunk("BODY", body));
    const Picture p = LoadFromMemory(Form(chunks), 1);
    ASSERT_TRUE(p.loaded);
    std::vector<uint16_t> expected(200, 0);
    std::fill(expected.begin(), expected.begin() + 101, 0x7FFF);
    EXPECT_EQ(p.words, expected);

    // 27 bytes are one short of two rows.
    body.pop_back();
    chunks = head;
    chunks.push_back(Chunk("BODY", body));
    EXPECT_FALSE(LoadFromMemory(Form(chunks), 1).loaded);
}

TEST(IlbmLoad, TrueColourPlanesAreRedGreenBlueLeastSignificantBitFirst)
{
    // Pixel 0 red 0xFF, 1 green 0xF8, 2 blue 0x08, 3 red 0x07 (below the
    // five bits kept), 4 white, 5 black.
    const std::vector<uint32_t> values{0x0000FF, 0x00F800, 0x080000, 0x000007, 0xFFFFFF, 0x000000};
    const std::vector<uint16_t> words{0x7C00, 0x03E0, 0x0001, 0x0000, 0x7FFF, 0x0000};
    for (bool byteRun1 : {false, true}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(6, 1, 24, 0, byteRun1)),
                                 Chunk("BODY", BodyOf(values, 6, 1, 24, false, byteRun1))});
        const Picture p = LoadFromMemory(file, 1);
        ASSERT_TRUE(p.loaded);
        EXPECT_EQ(p.words, words);
    }
}

TEST(IlbmLoad, TrueColourInPixelModeZeroTakesTheNearestColourTableEntry)
{
    const std::vector<Rgb> palette{{0, 0, 0}, {255, 0, 0}, {0, 248, 0}, {8, 0, 16}, {255, 255, 255}};
    const std::vector<uint32_t> words = MakePalette(palette);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    // Each pixel is one palette colour exactly, or one step away from it.
    const std::vector<uint32_t> values{0x0000FF, 0x00F800, 0x100008, 0xFFFFFF, 0x000000, 0x0000FE, 0xFEFFFF};
    const Bytes file = Form({Chunk("BMHD", Bmhd(7, 1, 24)), Chunk("BODY", BodyOf(values, 7, 1, 24, false, false))});
    EXPECT_EQ(LoadFromMemory(file, 0, table).indices, (std::vector<uint8_t>{1, 2, 3, 4, 0, 1, 4}));
    // Without a colour table every pixel answers 0.
    EXPECT_EQ(LoadFromMemory(file, 0).indices, std::vector<uint8_t>(7, 0));
    DeleteColourTable(table);
}

TEST(IlbmLoad, MaskRowsAreReadAndDropped)
{
    const std::vector<uint32_t> values{0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2, 0, 0, 3, 3, 1, 2};
    const std::vector<Colour> colours{{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (bool byteRun1 : {false, true}) {
        const Bytes plain = Form({Chunk("BMHD", Bmhd(9, 2, 2, 0, byteRun1)), Chunk("CMAP", Cmap(colours)),
                                  Chunk("BODY", BodyOf(values, 9, 2, 2, false, byteRun1))});
        const Bytes masked = Form({Chunk("BMHD", Bmhd(9, 2, 2, 1, byteRun1)), Chunk("CMAP", Cmap(colours)),
                                   Chunk("BODY", BodyOf(values, 9, 2, 2, true, byteRun1))});
        const Picture expected = LoadFromMemory(plain, 1);
        ASSERT_TRUE(expected.loaded);
        EXPECT_EQ(LoadFromMemory(masked, 1).words, expected.words);
        EXPECT_EQ(LoadFromMemory(masked, 0).indices, std::vector<uint8_t>(values.begin(), values.end()));

        // Masking values other than 1 store no mask rows.
        const Bytes lasso = Form({Chunk("BMHD", Bmhd(9, 2, 2, 3, byteRun1)), Chunk("CMAP", Cmap(colours)),
                                  Chunk("BODY", BodyOf(values, 9, 2, 2, false, byteRun1))});
        EXPECT_EQ(LoadFromMemory(lasso, 1).words, expected.words);
    }
}

TEST(IlbmLoad, ColoursPastTheEndOfTheCmapAreBlackAndOnly256AreKept)
{
    // Two colours for a two-plane picture: indices 2 and 3 have none.
    const Picture p = LoadFromMemory(TwoPlaneRow(Cmap({{255, 255, 255}, {8, 8, 8}})), 1);
    EXPECT_EQ(p.words, (std::vector<uint16_t>{0x7FFF, 0x0421, 0, 0, 0x7FFF, 0x0421, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

    // A CMAP of 300 colours: index 255 is colour 255, the rest is ignored.
    std::vector<Colour> many(300, Colour{0, 0, 0});
    many[255] = {248, 0, 8};
    many[256] = {255, 255, 255};
    const Bytes file = Form({Chunk("BMHD", Bmhd(1, 1, 8)), Chunk("CMAP", Cmap(many)),
                             Chunk("BODY", BodyOf({255}, 1, 1, 8, false, false))});
    EXPECT_EQ(LoadFromMemory(file, 1).words, std::vector<uint16_t>{0x7C01});
}

TEST(IlbmLoad, OtherChunksAndPadBytesAreSkipped)
{
    const Bytes bmhd = Chunk("BMHD", Bmhd(16, 1, 2));
    const Bytes cmap = Chunk("CMAP", Cmap(GREYS));
    const Bytes body = Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF});
    const std::vector<uint16_t> expected = LoadFromMemory(TwoPlaneRow(Cmap(GREYS)), 1).words;
    ASSERT_EQ(expected.size(), 16u);

    // An odd-length chunk with its pad byte before the BODY, and a CMAP of
    // odd length (five colours) with its pad.
    std::vector<Colour> five = GREYS;
    five.push_back({1, 2, 3});
    EXPECT_EQ(LoadFromMemory(Form({Chunk("ANNO", {'o', 'd', 'd'}), bmhd, Chunk("CMAP", Cmap(five)), body}), 1).words,
              expected);
    // The last chunk may leave out its pad byte when the FORM ends with it.
    EXPECT_EQ(LoadFromMemory(Form({bmhd, cmap, Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF, 0x99}, false)}), 1).words,
              expected);
    // A BODY longer than its rows: reading goes on after the whole chunk.
    EXPECT_EQ(LoadFromMemory(Form({bmhd, cmap, Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF, 'B', 'O', 'D', 'Y'}),
                                   Chunk("ANNO", {1, 2})}),
                             1)
                  .words,
              expected);
    // Bytes after the FORM are not read.
    Bytes trailing = TwoPlaneRow(Cmap(GREYS));
    trailing.insert(trailing.end(), {0xDE, 0xAD});
    EXPECT_EQ(LoadFromMemory(trailing, 1).words, expected);
}

TEST(IlbmLoad, ChunksAfterTheBodyCannotChangeThePicture)
{
    const Picture p = LoadFromMemory(Form({Chunk("BMHD", Bmhd(16, 1, 2)), Chunk("CMAP", Cmap(GREYS)),
                                           Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF}),
                                           Chunk("BMHD", Bmhd(32, 4, 1)), Chunk("CMAP", Cmap({{1, 1, 1}})),
                                           Chunk("BODY", Bytes(16, 0xFF))}),
                                     1);
    ASSERT_TRUE(p.loaded);
    EXPECT_EQ(p.width, 16);
    EXPECT_EQ(p.height, 1);
    EXPECT_EQ(p.words, LoadFromMemory(TwoPlaneRow(Cmap(GREYS)), 1).words);
}

TEST(IlbmLoad, PictureWithoutBodyIsNullWithItsSizeStored)
{
    const Picture p = LoadFromMemory(Form({Chunk("BMHD", Bmhd(320, 200, 5)), Chunk("CMAP", Cmap(GREYS))}), 1);
    EXPECT_FALSE(p.loaded);
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 200);
    EXPECT_FALSE(LoadFromMemory(Form({}), 1).loaded);
}

TEST(IlbmLoad, OnlyFormIlbmIsRead)
{
    Bytes wrongType = TwoPlaneRow(Cmap(GREYS));
    std::copy_n("PBM ", 4, wrongType.begin() + 8);
    Bytes wrongId = TwoPlaneRow(Cmap(GREYS));
    std::copy_n("LIST", 4, wrongId.begin());
    for (const Bytes& file : {wrongType, wrongId}) {
        const Picture p = LoadFromMemory(file, 1);
        EXPECT_FALSE(p.loaded);
        EXPECT_EQ(p.width, -1);
    }
}

TEST(IlbmLoad, FileAndMemoryLoadAlikeAndTheNameComesFirst)
{
    TempDir dir;
    const Bytes file = TwoPlaneRow(Cmap(GREYS));
    const std::string path = dir.Write("row.iff", file);
    const Picture fromMemory = LoadFromMemory(file, 1);
    const Picture fromFile = LoadFromFile(path, 1);
    ASSERT_TRUE(fromFile.loaded);
    EXPECT_EQ(fromFile.width, 16);
    EXPECT_EQ(fromFile.height, 1);
    EXPECT_EQ(fromFile.words, fromMemory.words);

    SetPixelMode(1);
    int32_t width = 0;
    int32_t height = 0;
    const Bytes other = Form({Chunk("BMHD", Bmhd(3, 3, 1))});
    void* pixels = ilbm_load(path.c_str(), other.data(), other.size(), &width, &height, nullptr);
    EXPECT_NE(pixels, nullptr);
    EXPECT_EQ(width, 16);
    MemFree(pixels);

    EXPECT_FALSE(LoadFromFile(dir.Path("missing.iff"), 1).loaded);
    EXPECT_FALSE(LoadFromFile(dir.Path(""), 1).loaded);
    EXPECT_EQ(ilbm_load(nullptr, nullptr, 0, nullptr, nullptr, nullptr), nullptr);
}

TEST(IlbmLoad, SizePointersMayBeNull)
{
    SetPixelMode(1);
    const Bytes file = TwoPlaneRow(Cmap(GREYS));
    void* pixels = ilbm_load(nullptr, file.data(), file.size(), nullptr, nullptr, nullptr);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(static_cast<uint16_t*>(pixels)[0], 0x7FFF);
    MemFree(pixels);
}

}  // namespace
