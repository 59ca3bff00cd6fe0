#include "colour/palette_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// A file in the temporary directory, removed when the test ends.
class TempFile {
public:
    explicit TempFile(const std::vector<uint8_t>& bytes)
    {
        char name[] = "/tmp/kvor_palette_XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        path_ = name;
        if (!bytes.empty()) {
            EXPECT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        }
        close(fd);
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

std::vector<uint8_t> FileBytes(const std::vector<uint32_t>& words, size_t length)
{
    std::vector<uint8_t> bytes(length, 0x77);
    std::memcpy(bytes.data(), words.data(), std::min(length, words.size() * 4));
    return bytes;
}

// A full 256-colour palette, colour i = (i, 255 − i, i ^ 0x5A).
std::vector<uint32_t> FullPalette()
{
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < 256; ++i)
        colours.push_back({i, 255 - i, i ^ 0x5A});
    return MakePalette(colours);
}

TEST(PaletteFile, ReadsAllWordsInHostOrder)
{
    const std::vector<uint32_t> palette = FullPalette();
    ASSERT_EQ(palette.size(), PALETTE_FILE_WORDS);
    TempFile file(FileBytes(palette, PALETTE_FILE_BYTES));

    std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0);
    ASSERT_EQ(ReadPaletteFile(file.path(), words.data()), PALETTE_OK);
    EXPECT_EQ(words, palette);
    EXPECT_EQ(words[0], 0x01000005u);
    EXPECT_EQ(words[769], 0xDEADBEEFu);
}

TEST(PaletteFile, MissingShortAndLongFilesFailAndLeaveTheBufferAlone)
{
    const std::vector<uint32_t> palette = FullPalette();
    TempFile empty({});
    TempFile truncated(FileBytes(palette, PALETTE_FILE_BYTES - 1));
    TempFile halfWord(FileBytes(palette, 2));
    TempFile overlong(FileBytes(palette, PALETTE_FILE_BYTES + 1));

    std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0x12345678);
    const std::vector<uint32_t> untouched = words;
    EXPECT_EQ(ReadPaletteFile("/tmp/kvor_palette_does_not_exist", words.data()), ERR_PALETTE_OPEN);
    EXPECT_EQ(ReadPaletteFile("/tmp", words.data()), ERR_PALETTE_OPEN);
    EXPECT_EQ(ReadPaletteFile(empty.path(), words.data()), ERR_PALETTE_SIZE);
    EXPECT_EQ(ReadPaletteFile(truncated.path(), words.data()), ERR_PALETTE_SIZE);
    EXPECT_EQ(ReadPaletteFile(halfWord.path(), words.data()), ERR_PALETTE_SIZE);
    EXPECT_EQ(ReadPaletteFile(overlong.path(), words.data()), ERR_PALETTE_SIZE);
    EXPECT_EQ(words, untouched);
}

// 3n + 2 words must fit in the 770 of the file: 256 colours at most.
TEST(PaletteFile, ColourCountBeyondTheFileFails)
{
    std::vector<uint32_t> palette = FullPalette();
    std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0);

    palette[0] = 257u << 16;
    TempFile tooMany(FileBytes(palette, PALETTE_FILE_BYTES));
    EXPECT_EQ(ReadPaletteFile(tooMany.path(), words.data()), ERR_PALETTE_COUNT);
    EXPECT_EQ(words[0], 0u);

    palette[0] = 0xFFFF0000u;
    TempFile largest(FileBytes(palette, PALETTE_FILE_BYTES));
    EXPECT_EQ(ReadPaletteFile(largest.path(), words.data()), ERR_PALETTE_COUNT);

    palette[0] = 16u << 16;
    TempFile fewer(FileBytes(palette, PALETTE_FILE_BYTES));
    EXPECT_EQ(ReadPaletteFile(fewer.path(), words.data()), PALETTE_OK);
    EXPECT_EQ(words[0], 16u << 16);
}

TEST(PaletteFile, FileReadBuildsAWorkingColourTable)
{
    TempFile file(FileBytes(FullPalette(), PALETTE_FILE_BYTES));
    std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0);
    ASSERT_EQ(ReadPaletteFile(file.path(), words.data()), PALETTE_OK);

    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ColourCount(table), 256);
    EXPECT_EQ(Nearest(table, 100, 155, 100 ^ 0x5A), 100);
    EXPECT_EQ(Nearest(table, 252, 3, 252 ^ 0x5A), 252);
    DeleteColourTable(table);
}

}  // namespace
