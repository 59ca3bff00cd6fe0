// kvordata: writes the data folder that threnody and kvorview run on, every
// byte derived from one seed. Pictures are procedural (noise, marble,
// plasma, metal, gradients) and text is set with a real font through
// FreeType; ILBM files come from the encoder here; scenes are built as
// engine records and written with SaveScene.
#pragma once

#include "kvor3d.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace kvor3d;

namespace kvordata {

// ---- Random numbers ------------------------------------------------------------------

// splitmix64: small, fast and the same on every machine.
struct Rng {
    uint64_t state;
};

uint64_t NextBits(Rng& rng);
// Uniform in [0, 1).
double NextUnit(Rng& rng);
// Uniform in [low, high).
double NextRange(Rng& rng, double low, double high);
// A generator of its own for one product, so that adding a product never
// changes the others: the seed mixed with the product's name.
Rng ForkRng(uint64_t seed, const char* name);

// ---- Noise ---------------------------------------------------------------------------

// Gradient noise on a square lattice of `period` cells that repeats every
// period cells in x and y, so textures built from it tile.
struct NoiseLattice {
    int period;
    std::vector<float> gradients;  // period × period unit vectors (x, y)
};

NoiseLattice MakeLattice(Rng& rng, int period);
// Noise in about −0.7 … 0.7 at (x, y) in lattice cells.
float LatticeNoise(const NoiseLattice& lattice, float x, float y);

// Fractal sum of octaves: octave i has a lattice of basePeriod × 2^i cells
// across the unit square and weight gain^i.
struct Fractal {
    std::vector<NoiseLattice> octaves;
    float gain;
};

Fractal MakeFractal(Rng& rng, int basePeriod, int octaveCount, float gain);
// The sum at (u, v) in the unit square (repeating outside it), scaled to
// about −1 … 1.
float FractalNoise(const Fractal& fractal, float u, float v);

// ---- Colours and pictures --------------------------------------------------------------

struct Rgb {
    float r, g, b;  // 0 … 1
};

Rgb Mix(Rgb a, Rgb b, float t);
Rgb Scale(Rgb c, float k);
Rgb Add(Rgb a, Rgb b);
Rgb HexColour(uint32_t rgb);

// A colour ramp through evenly spaced stops.
Rgb Ramp(const std::vector<Rgb>& stops, float t);

// A true-colour picture, 8 bits per component.
struct Picture {
    int width;
    int height;
    std::vector<uint8_t> rgb;  // width × height triplets
};

Picture MakePicture(int width, int height);
void SetPixel(Picture& picture, int x, int y, Rgb colour);
Rgb GetPixel(const Picture& picture, int x, int y);

// A palette picture: indices into up to 256 colours.
struct IndexedPicture {
    int width;
    int height;
    std::vector<uint8_t> indices;
    std::vector<Rgb> palette;
};

// Keyed pictures: the show skips pixels that pack to the 15-bit value 0, so
// everything meant to be seen keeps some channel at 8 or above.
Rgb Visible(Rgb colour);

// ---- Files -----------------------------------------------------------------------------

// FORM ILBM files with BMHD, CMAP (palette pictures) and a ByteRun1 BODY:
// 24 planes for true colour, the fewest planes that hold the palette else.
std::vector<uint8_t> EncodeIlbm(const Picture& picture);
std::vector<uint8_t> EncodeIlbm(const IndexedPicture& picture);

// Writes the bytes to dir/name; exits with a message when it cannot.
void WriteFile(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes);

// ---- Text ------------------------------------------------------------------------------

// The DejaVu faces of Debian's fonts-dejavu-core package.
constexpr const char* FONT_SANS_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* FONT_SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
constexpr const char* FONT_SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";

// An 8-bit coverage image that text is drawn into.
struct Coverage {
    int width;
    int height;
    std::vector<uint8_t> alpha;
};

Coverage MakeCoverage(int width, int height);
// Width in pixels of the text set in the font at the pixel size.
int TextWidth(const char* fontFile, int pixelSize, const std::string& text);
// Draws antialiased text with its baseline at y, starting at x; the
// coverage is the larger of the old value and the glyph's.
void DrawText(Coverage& coverage, const char* fontFile, int pixelSize, int x, int baseline, const std::string& text);
// Draws the text centred on x.
void DrawTextCentred(Coverage& coverage, const char* fontFile, int pixelSize, int centreX, int baseline,
                     const std::string& text);

// ---- The products ------------------------------------------------------------------------

// Texture files of the scenes are named "data/<file>" inside the scenes:
// the programs run in the folder that holds data/.
std::string DataName(const std::string& file);

// The show's own files: palette, masks, raw picture, tunnel table and the
// eight pictures.
void WriteShowFiles(const std::string& dir, uint64_t seed);
// The textures, maps and flare sprites that the scenes name.
void WriteTextures(const std::string& dir, uint64_t seed);
// The eleven scene files.
void WriteScenes(const std::string& dir, uint64_t seed);

// Lengths of the scenes of the show's parts 9 and 10 in seconds; the text
// strips of both parts run on their scene time.
constexpr double SUECIDE_SECONDS = 40.0;
constexpr double SUECIDE2_SECONDS = 22.0;

// The text line the show draws at scene time t of part 9 (offset −2) or
// part 10 (offset +38), computed as the show does in 32-bit floats.
int TextLineAt(uint32_t ticks, float offset);
// The 14-row lines txt.iff must hold: one past the last line either part
// reaches.
int TextLineCount();

}  // namespace kvordata
