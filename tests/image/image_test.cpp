#include "colour/palette_data.h"
#include "image/ilbm_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kvor3d;

namespace {

constexpr uint8_t GUARD = 0xEE;

// 2: three literal bytes; −2 (0xFE): three copies; −128: nothing; 0: one
// literal. A row stops where it is full and leaves the next row's code; a
// malformed row fails without writing past the row.
TEST(ByteRun1, DecodesLiteralsRunsAndNoOpsWithinTheRow)
{
    struct Case {
        Bytes code;
        size_t rowBytes;
        long used;  // −1: fails
        Bytes row;
    } cases[] = {
        {{2, 'a', 'b', 'c', 0xFE, 'x', 0x80, 0, 'z'}, 7, 9, {'a', 'b', 'c', 'x', 'x', 'x', 'z'}},
        {{0xFD, 'p', 3, 'q', 'r', 's', 't'}, 4, 2, {'p', 'p', 'p', 'p'}},
        {{0x81, 0x5A}, 128, 2, Bytes(128, 0x5A)},
        {{5, 1, 2, 3, 4, 5, 6}, 4, -1, {}},
        {{0xFE, 9, 1, 1, 2, 3}, 4, -1, {}},
        {{0x81, 7}, 4, -1, {}},
        {{0xFE}, 4, -1, {}},
        {{0xFF, 1}, 4, -1, {}},
        {{}, 4, -1, {}},
    };
    for (const Case& c : cases) {
        Bytes buffer(c.rowBytes + 16, GUARD);
        const uint8_t* next = ByteRun1Decode(c.code.data(), c.code.data() + c.code.size(), buffer.data(), c.rowBytes);
        EXPECT_EQ(next ? long(next - c.code.data()) : -1, c.used) << c.code.size() << " code bytes";
        if (c.used >= 0) {
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + long(c.rowBytes)), c.row);
        }
        EXPECT_EQ(Bytes(buffer.begin() + long(c.rowBytes), buffer.end()), Bytes(16, GUARD));
    }
}

const std::vector<Colour> GREYS{{255, 255, 255}, {8, 8, 8}, {7, 7, 7}, {0x12, 0x34, 0x56}};

// A 16 × 1 two-plane picture: plane 0 = 0x55 0x0F, plane 1 = 0x33 0xFF,
// giving the indices 0 1 2 3 0 1 2 3 2 2 2 2 3 3 3 3.
Bytes TwoPlaneRow(const Bytes& body = {0x55, 0x0F, 0x33, 0xFF}, uint8_t compression = 0, std::vector<Bytes> more = {})
{
    std::vector<Bytes> chunks{Chunk("BMHD", Bmhd(16, 1, 2, 0, compression)), Chunk("CMAP", Cmap(GREYS)),
                              Chunk("BODY", body)};
    chunks.insert(chunks.end(), more.begin(), more.end());
    return Form(chunks);
}

// (255, 255, 255) → 0x7FFF, (8, 8, 8) → 0x0421, (7, 7, 7) → 0,
// (0x12, 0x34, 0x56) → 0x10 << 7 | 0x30 << 2 | 0x56 >> 3 = 0x08CA.
const std::vector<uint16_t> TWO_PLANE_WORDS{0x7FFF, 0x0421, 0, 0x08CA, 0x7FFF, 0x0421, 0, 0x08CA,
                                            0, 0, 0, 0, 0x08CA, 0x08CA, 0x08CA, 0x08CA};

// Files that load to the two-plane row: pad bytes, a missing last pad, a
// BODY longer than its rows, chunks after the BODY, bytes after the FORM.
TEST(IlbmLoad, PalettePixelsAreTheirCmapColourPackedToFifteenBits)
{
    Bytes trailing = TwoPlaneRow();
    trailing.insert(trailing.end(), {0xDE, 0xAD});
    std::vector<Colour> five = GREYS;
    five.push_back({1, 2, 3});
    const Bytes files[] = {
        TwoPlaneRow(),
        Form({Chunk("ANNO", {'o', 'd', 'd'}), Chunk("BMHD", Bmhd(16, 1, 2)), Chunk("CMAP", Cmap(five)),
              Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF})}),
        Form({Chunk("BMHD", Bmhd(16, 1, 2)), Chunk("CMAP", Cmap(GREYS)), Chunk("BODY", {0x55, 0x0F, 0x33, 0xFF, 9}, false)}),
        TwoPlaneRow({0x55, 0x0F, 0x33, 0xFF, 'B', 'O', 'D', 'Y'}, 0, {Chunk("ANNO", {1, 2})}),
        TwoPlaneRow({0x55, 0x0F, 0x33, 0xFF}, 0, {Chunk("BMHD", Bmhd(32, 4, 1)), Chunk("BODY", Bytes(16, 0xFF))}),
        TwoPlaneRow({0x01, 0x55, 0x0F, 0x80, 0x01, 0x33, 0xFF}, 1),
        trailing,
    };
    for (const Bytes& file : files) {
        const Picture p = LoadFromMemory(file, 1);
        ASSERT_TRUE(p.loaded) << file.size();
        EXPECT_EQ(p.width, 16);
        EXPECT_EQ(p.height, 1);
        EXPECT_EQ(p.words, TWO_PLANE_WORDS) << file.size();
    }
    EXPECT_EQ(LoadFromMemory(TwoPlaneRow(), 0).indices,
              (std::vector<uint8_t>{0, 1, 2, 3, 0, 1, 2, 3, 2, 2, 2, 2, 3, 3, 3, 3}));
    const run::TempFolder dir;
    EXPECT_EQ(LoadFromFile(dir.Write("row.iff", TwoPlaneRow()), 1).words, TWO_PLANE_WORDS);
}

// Eight planes give every index, masked lines drop their mask row and only
// 256 CMAP colours are kept.
TEST(IlbmLoad, PlanesMasksAndColourMaps)
{
    std::vector<uint32_t> values(256);
    std::vector<Colour> colours(300, Colour{0, 0, 0});
    std::vector<uint16_t> words(256);
    for (uint32_t i = 0; i < 256; ++i) {
        values[i] = (i * 37) & 0xFF;
        colours[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i ^ 0x5A)};
    }
    colours[256] = {255, 255, 255};
    for (uint32_t i = 0; i < 256; ++i)
        words[i] = PackRgb15(colours[values[i]][0], colours[values[i]][1], colours[values[i]][2]);
    for (uint8_t masking : {0, 1, 3}) {
        for (bool byteRun1 : {false, true}) {
            const Bytes file = Form({Chunk("BMHD", Bmhd(32, 8, 8, masking, byteRun1)), Chunk("CMAP", Cmap(colours)),
                                     Chunk("BODY", BodyOf(values, 32, 8, 8, masking == 1, byteRun1))});
            EXPECT_EQ(LoadFromMemory(file, 0).indices, std::vector<uint8_t>(values.begin(), values.end()));
            EXPECT_EQ(LoadFromMemory(file, 1).words, words) << int(masking) << byteRun1;
        }
    }
}

// True-colour planes are red, green, blue, least significant bit first; in
// pixel mode 0 each pixel takes the nearest colour-table entry.
TEST(IlbmLoad, TrueColourPlanesAreRedGreenBlueLeastSignificantBitFirst)
{
    const std::vector<uint32_t> values{0x0000FF, 0x00F800, 0x080000, 0x000007, 0xFFFFFF, 0x0000FE, 0x100008};
    const std::vector<uint16_t> words{0x7C00, 0x03E0, 0x0001, 0x0000, 0x7FFF, 0x7C00, 0x0402};
    const std::vector<uint32_t> palette = MakePalette({{0, 0, 0}, {255, 0, 0}, {0, 248, 0}, {8, 0, 16}, {255, 255, 255}});
    ColourTable* table = MakeTable(palette, GRID);
    for (bool byteRun1 : {false, true}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(7, 1, 24, 0, byteRun1)),
                                 Chunk("BODY", BodyOf(values, 7, 1, 24, false, byteRun1))});
        EXPECT_EQ(LoadFromMemory(file, 1).words, words);
        EXPECT_EQ(LoadFromMemory(file, 0, table).indices, (std::vector<uint8_t>{1, 2, 0, 0, 4, 1, 3}));
    }
    DeleteColourTable(table);
}

// Each file fails; the size stays stored when the BMHD was read.
// The largest pictures the readers accept: 4096 on a side, 4 Mi pixels.
TEST(IlbmLoad, PicturesUpToTheSizeBoundLoad)
{
    for (const auto& [width, height] : {std::pair{4096u, 1024u}, {1024u, 4096u}}) {
        const Bytes file = Form({Chunk("BMHD", Bmhd(width, height, 1)), Chunk("CMAP", Cmap(GREYS)),
                                 Chunk("BODY", Bytes(height * IlbmRowBytes(width), 0))});
        EXPECT_TRUE(LoadFromMemory(file, 1).loaded) << width;
    }
}

TEST(IlbmBadInput, ByteRun1CodePassingItsRowFails)
{
    Bytes stray = TwoPlaneRow();
    stray.insert(stray.end(), {'A', 'N', 'N'});
    SetBig32(stray, 4, uint32_t(stray.size() - 8));
    Bytes wrongType = TwoPlaneRow();
    std::copy_n("PBM ", 4, wrongType.begin() + 8);
    const Bytes cmap = Chunk("CMAP", Cmap(GREYS));
    Bytes shortBmhd = Bmhd(16, 1, 2);
    shortBmhd.resize(19);
    struct Case {
        const char* what;
        Bytes file;
        int32_t width;
    } cases[] = {
        {"literal passing the row", TwoPlaneRow({2, 1, 2, 3, 1, 0xAA, 0x55}, 1), 16},
        {"run passing the row", TwoPlaneRow({0xFE, 0x0F, 1, 0xAA, 0x55}, 1), 16},
        {"run over two rows", TwoPlaneRow({0xFD, 0x0F}, 1), 16},
        {"code ending early", TwoPlaneRow({0xFF, 0x0F, 0, 0xAA}, 1), 16},
        {"stored body too short", TwoPlaneRow({1, 2, 3}), 16},
        {"no body bytes", TwoPlaneRow({}), 16},
        {"9 planes", Form({Chunk("BMHD", Bmhd(8, 1, 9)), Chunk("BODY", Bytes(18, 0xFF))}), 8},
        {"23 planes", Form({Chunk("BMHD", Bmhd(8, 1, 23)), Chunk("BODY", Bytes(46, 0xFF))}), 8},
        {"0 planes", Form({Chunk("BMHD", Bmhd(8, 1, 0)), Chunk("BODY", Bytes(2, 0xFF))}), 8},
        {"zero height", Form({Chunk("BMHD", Bmhd(8, 0, 1)), Chunk("CMAP", Cmap(GREYS)), Chunk("BODY", Bytes(8, 1))}), 8},
        {"compression 2", Form({Chunk("BMHD", Bmhd(16, 1, 2, 0, 2)), cmap, Chunk("BODY", Bytes(4, 0))}), 16},
        {"no CMAP before the BODY", Form({Chunk("BMHD", Bmhd(16, 1, 2)), Chunk("BODY", Bytes(4, 0)), cmap}), 16},
        {"BODY before BMHD", Form({cmap, Chunk("BODY", Bytes(4, 0)), Chunk("BMHD", Bmhd(16, 1, 2))}), -1},
        {"short BMHD", Form({Chunk("BMHD", shortBmhd), Chunk("CMAP", Cmap(GREYS)), Chunk("BODY", Bytes(4, 0))}), -1},
        {"side beyond 4096", Form({Chunk("BMHD", Bmhd(4112, 1, 1)), cmap, Chunk("BODY", Bytes(514, 0))}), 4112},
        {"more than 4 Mi pixels", Form({Chunk("BMHD", Bmhd(2048, 2049, 1)), cmap, Chunk("BODY", Bytes(2049 * 256, 0))}), 2048},
        {"rows beyond the body", Form({Chunk("BMHD", Bmhd(4096, 1024, 1, 0, 1)), cmap, Chunk("BODY", Bytes(4, 0x81))}),
         4096},
        {"stray bytes after the last chunk", stray, 16},
        {"FORM of another type", wrongType, -1},
        {"FORM shorter than its type", {'F', 'O', 'R', 'M', 0, 0, 0, 3, 'I', 'L', 'B', 'M'}, -1},
    };
    for (const Case& c : cases) {
        const Picture p = LoadFromMemory(c.file, 1);
        EXPECT_FALSE(p.loaded) << c.what;
        EXPECT_EQ(p.width, c.width) << c.what;
    }
}

// Every prefix of a good file fails from memory and from a file, and so does
// a chunk length far beyond the file.
TEST(IlbmBadInput, TruncatedFilesAndLengthsPastTheEndFail)
{
    const run::TempFolder dir;
    std::vector<uint32_t> values(27);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = uint32_t(i * 0x1F3D5B) & 0xFFFFFF;
    const Bytes file = Form({Chunk("BMHD", Bmhd(9, 3, 24, 0, 1)), Chunk("ANNO", {'a'}),
                             Chunk("BODY", BodyOf(values, 9, 3, 24, false, true))});
    ASSERT_TRUE(LoadFromMemory(file, 1).loaded);
    for (size_t length = 0; length < file.size(); ++length) {
        const Bytes prefix(file.begin(), file.begin() + long(length));
        EXPECT_FALSE(LoadFromMemory(prefix, 0).loaded) << length;
        EXPECT_FALSE(LoadFromFile(dir.Write("prefix.iff", prefix), 1).loaded) << length;
    }
    Bytes bad = TwoPlaneRow();
    SetBig32(bad, bad.size() - 8, 0x7FFFFFFF);
    EXPECT_FALSE(LoadFromFile(dir.Write("bad.iff", bad), 1).loaded);
    EXPECT_FALSE(LoadFromFile(dir.Path("missing.iff"), 1).loaded);
    ASSERT_EQ(mkfifo(dir.Path("pipe.iff").c_str(), 0600), 0);
    alarm(10);  // ends the program should the open wait for a writer
    EXPECT_FALSE(LoadFromFile(dir.Path("pipe.iff"), 1).loaded);
    alarm(0);
}

}  // namespace
