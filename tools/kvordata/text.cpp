// Text set with FreeType from the DejaVu faces: glyphs rendered as 8-bit
// antialiased coverage and placed with the face's advances and kerning.
#include "kvordata.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

using namespace kvor3d;

namespace kvordata {

namespace {

// One FreeType library and one face per font file for the whole run.
struct Fonts {
    FT_Library library = nullptr;
    std::map<std::string, FT_Face> faces;
};

Fonts& TheFonts()
{
    static Fonts fonts;
    return fonts;
}

[[noreturn]] void Fail(const char* what, const char* file)
{
    std::fprintf(stderr, "kvordata: %s %s (Debian package fonts-dejavu-core)\n", what, file);
    std::exit(1);
}

FT_Face Face(const char* fontFile, int pixelSize)
{
    Fonts& fonts = TheFonts();
    if (!fonts.library && FT_Init_FreeType(&fonts.library) != 0)
        Fail("cannot start FreeType for", fontFile);
    FT_Face& face = fonts.faces[fontFile];
    if (!face && FT_New_Face(fonts.library, fontFile, 0, &face) != 0)
        Fail("cannot open the font", fontFile);
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) != 0)
        Fail("cannot size the font", fontFile);
    return face;
}

// Calls draw(glyph bitmap, left, top) for each character at its pen position
// and returns the advance of the whole text.
template <typename Draw>
int Layout(const char* fontFile, int pixelSize, const std::string& text, Draw draw)
{
    FT_Face face = Face(fontFile, pixelSize);
    long pen = 0;  // 26.6
    FT_UInt previous = 0;
    for (unsigned char c : text) {
        const FT_UInt glyph = FT_Get_Char_Index(face, c);
        if (previous && glyph && FT_HAS_KERNING(face)) {
            FT_Vector kern;
            FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern);
            pen += kern.x;
        }
        if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0)
            Fail("cannot render a glyph of", fontFile);
        const FT_GlyphSlot slot = face->glyph;
        draw(slot->bitmap, int(pen >> 6) + slot->bitmap_left, slot->bitmap_top);
        pen += slot->advance.x;
        previous = glyph;
    }
    return int((pen + 63) >> 6);
}

}  // namespace

Coverage MakeCoverage(int width, int height)
{
    return {width, height, std::vector<uint8_t>(size_t(width) * height)};
}

int TextWidth(const char* fontFile, int pixelSize, const std::string& text)
{
    return Layout(fontFile, pixelSize, text, [](const FT_Bitmap&, int, int) {});
}

void DrawText(Coverage& coverage, const char* fontFile, int pixelSize, int x, int baseline, const std::string& text)
{
    Layout(fontFile, pixelSize, text, [&](const FT_Bitmap& bitmap, int left, int top) {
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const int y = baseline - top + int(row);
            if (y < 0 || y >= coverage.height)
                continue;
            for (unsigned column = 0; column < bitmap.width; ++column) {
                const int px = x + left + int(column);
                if (px < 0 || px >= coverage.width)
                    continue;
                uint8_t& cell = coverage.alpha[size_t(y) * coverage.width + px];
                cell = std::max(cell, bitmap.buffer[size_t(row) * bitmap.pitch + column]);
            }
        }
    });
}

void DrawTextCentred(Coverage& coverage, const char* fontFile, int pixelSize, int centreX, int baseline,
                     const std::string& text)
{
    DrawText(coverage, fontFile, pixelSize, centreX - TextWidth(fontFile, pixelSize, text) / 2, baseline, text);
}

}  // namespace kvordata
