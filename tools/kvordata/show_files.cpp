// The files the show reads itself: the palette, the two fade masks, the
// 15-bit alien picture, the tunnel table and texture, and the eight
// pictures it blits (clip, credits, end background, side panels, text
// strips, logo).
#include "kvordata.h"
#include "palette_file.h"

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace kvor3d;

namespace kvordata {

namespace {

constexpr int SCREEN_WIDTH = 320;
constexpr int SCREEN_HEIGHT = 200;
constexpr int SCREEN_PIXELS = SCREEN_WIDTH * SCREEN_HEIGHT;
constexpr int TEXT_LINE_ROWS = 14;
constexpr int CREDITS_STRIP_ROWS = 26;
constexpr int TUNNEL_SIDE = 256;

// ---- Fade masks ----------------------------------------------------------------------

// Turns a field of any values into thresholds 0-254 by rank, so that a
// wipe whose level rises evenly uncovers an even share of the frame each
// step and is complete before the level reaches 255.
std::vector<uint8_t> Equalise(const std::vector<float>& field)
{
    std::vector<int> order(field.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return field[a] < field[b]; });
    std::vector<uint8_t> mask(field.size());
    for (size_t rank = 0; rank < order.size(); ++rank)
        mask[order[rank]] = uint8_t(rank * 255 / order.size());
    return mask;
}

// Mask A: a curtain that parts from the middle, its edge waving and frayed.
std::vector<uint8_t> CurtainMask(uint64_t seed)
{
    Rng rng = ForkRng(seed, "fademask");
    const Fractal fray = MakeFractal(rng, 8, 4, 0.55f);
    std::vector<float> field(SCREEN_PIXELS);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const float wave = 14.0f * std::sin(float(y) / 17.0f) + 6.0f * std::sin(float(y) / 5.3f + 1.0f);
            const float across = std::fabs(float(x) - 160.0f + wave) / 170.0f;
            const float noise = FractalNoise(fray, float(x) / 320.0f, float(y) / 200.0f);
            field[size_t(y) * SCREEN_WIDTH + x] = across + 0.12f * noise;
        }
    return Equalise(field);
}

// Mask B: a spiral that opens from the centre, dissolving in grains.
std::vector<uint8_t> SpiralMask(uint64_t seed)
{
    Rng rng = ForkRng(seed, "fademask1");
    const Fractal grain = MakeFractal(rng, 16, 3, 0.6f);
    std::vector<float> field(SCREEN_PIXELS);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const float dx = float(x) - 160.0f;
            const float dy = (float(y) - 100.0f) * 1.2f;
            const float radius = std::sqrt(dx * dx + dy * dy) / 190.0f;
            const float turn = std::atan2(dy, dx) / float(2 * M_PI) + 0.5f;
            const float arm = std::fmod(turn + radius * 2.0f, 1.0f);
            const float noise = FractalNoise(grain, float(x) / 320.0f, float(y) / 200.0f);
            field[size_t(y) * SCREEN_WIDTH + x] = 0.65f * radius + 0.22f * arm + 0.13f * noise;
        }
    return Equalise(field);
}

// ---- The alien picture -----------------------------------------------------------------

uint16_t Pack15(Rgb c)
{
    const auto channel = [](float v) { return uint32_t(std::clamp(int(v * 255.0f + 0.5f), 0, 255)); };
    return PackRgb15(uint8_t(channel(c.r)), uint8_t(channel(c.g)), uint8_t(channel(c.b)));
}

// An egg in a nest of veined tissue, lit from the upper left, with a
// luminous rim; the tissue swirls by domain warping.
std::vector<uint8_t> AlienPicture(uint64_t seed)
{
    Rng rng = ForkRng(seed, "alien1");
    const Fractal warp = MakeFractal(rng, 4, 4, 0.5f);
    const Fractal tissue = MakeFractal(rng, 6, 5, 0.55f);
    const Fractal veins = MakeFractal(rng, 8, 4, 0.5f);
    const std::vector<Rgb> flesh = {HexColour(0x05020A), HexColour(0x2A0B3A), HexColour(0x6A1F4F),
                                    HexColour(0xC0566A), HexColour(0xF2C6A0)};
    std::vector<uint8_t> bytes;
    bytes.reserve(SCREEN_PIXELS * 2);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const float u = float(x) / 320.0f;
            const float v = float(y) / 200.0f;
            const float wu = u + 0.25f * FractalNoise(warp, u, v);
            const float wv = v + 0.25f * FractalNoise(warp, v + 0.37f, u + 0.11f);
            const float t = 0.5f + 0.5f * FractalNoise(tissue, wu, wv);
            const float vein = 1.0f - std::fabs(FractalNoise(veins, wu * 1.3f, wv * 1.3f));
            Rgb colour = Ramp(flesh, t * 0.75f);
            colour = Add(colour, Scale(HexColour(0xFF6A3A), std::pow(vein, 18.0f) * 0.8f));

            // The egg: an ellipsoid seen from the front.
            const float ex = (float(x) - 160.0f) / 62.0f;
            const float ey = (float(y) - 104.0f) / 80.0f;
            const float d2 = ex * ex + ey * ey;
            const float vignette = 1.0f - 0.55f * std::min(1.0f, (ex * ex + ey * ey) / 9.0f);
            colour = Scale(colour, vignette);
            if (d2 < 1.0f) {
                const float nz = std::sqrt(1.0f - d2);
                const float light = std::max(0.0f, -0.45f * ex - 0.55f * ey + 0.7f * nz);
                const float shell = 0.5f + 0.5f * FractalNoise(tissue, u * 2.0f, v * 2.0f);
                Rgb egg = Ramp({HexColour(0x10281E), HexColour(0x2F7A5A), HexColour(0x9FE0B0)},
                               0.25f + 0.6f * light * (0.7f + 0.3f * shell));
                egg = Add(egg, Scale(HexColour(0xFFF4D0), std::pow(light, 24.0f)));
                egg = Add(egg, Scale(HexColour(0x7CFFB0), std::pow(1.0f - nz, 3.0f) * 0.9f));
                egg = Add(egg, Scale(HexColour(0xFF8050), std::pow(vein, 30.0f) * 0.5f));
                colour = egg;
            } else {
                colour = Add(colour, Scale(HexColour(0x3AFF9A), 0.35f * std::exp(-(std::sqrt(d2) - 1.0f) * 9.0f)));
            }
            const uint16_t pixel = Pack15(colour);
            bytes.push_back(uint8_t(pixel));
            bytes.push_back(uint8_t(pixel >> 8));
        }
    return bytes;
}

// ---- Tunnel ------------------------------------------------------------------------------

// For each screen pixel the texel of a tunnel seen down its axis: the
// column is the angle around the axis (once around per 256 columns, turned
// a little with depth so that the walls spiral), the row is the depth,
// proportional to 1 / distance from the centre. Little-endian words.
std::vector<uint8_t> TunnelTable()
{
    std::vector<uint8_t> bytes;
    bytes.reserve(SCREEN_PIXELS * 2);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const double dx = x - 159.5;
            const double dy = (y - 99.5) * 1.2;
            const double radius = std::max(1.0, std::sqrt(dx * dx + dy * dy));
            const double depth = 6144.0 / radius;
            const double angle = std::atan2(dy, dx) / (2 * M_PI) + 0.5;
            const uint32_t row = uint32_t(int(depth)) & 255;
            const uint32_t column = uint32_t(int(angle * 256.0 + depth * 0.35)) & 255;
            const uint32_t texel = row * TUNNEL_SIDE + column;
            bytes.push_back(uint8_t(texel));
            bytes.push_back(uint8_t(texel >> 8));
        }
    return bytes;
}

// The tunnel's wall: plasma in deep blue, violet and amber, crossed by
// bright rings every 64 rows (rings of depth that fly past) and thin ribs
// every 32 columns. Tiles in both directions.
Picture TunnelTexture(uint64_t seed)
{
    Rng rng = ForkRng(seed, "pl_txt");
    const Fractal plasma = MakeFractal(rng, 4, 4, 0.55f);
    const std::vector<Rgb> ramp = {HexColour(0x030418), HexColour(0x1A1060), HexColour(0x6A1C8A),
                                   HexColour(0xE0506A), HexColour(0xFFD080)};
    Picture picture = MakePicture(TUNNEL_SIDE, TUNNEL_SIDE);
    for (int y = 0; y < TUNNEL_SIDE; ++y)
        for (int x = 0; x < TUNNEL_SIDE; ++x) {
            const float u = float(x) / 256.0f;
            const float v = float(y) / 256.0f;
            const float p = 0.5f + 0.5f * std::sin(6.0f * FractalNoise(plasma, u, v) +
                                                   float(2 * M_PI) * (2 * u + v));
            Rgb colour = Ramp(ramp, p * 0.85f);
            const float ring = std::cos(float(2 * M_PI) * v * 4.0f);
            const float rib = std::cos(float(2 * M_PI) * u * 8.0f);
            colour = Add(colour, Scale(HexColour(0x9FE8FF), std::pow(std::max(0.0f, ring), 40.0f)));
            colour = Add(colour, Scale(HexColour(0x4050C0), 0.5f * std::pow(std::max(0.0f, rib), 60.0f)));
            SetPixel(picture, x, y, colour);
        }
    return picture;
}

// ---- Pictures -----------------------------------------------------------------------------

// A palette picture from coverage: index 0 where nothing is drawn, else
// one of `levels` steps of a colour ramp, the ramp position given per pixel.
template <typename Tone>
IndexedPicture RampPicture(const Coverage& coverage, const std::vector<Rgb>& ramp, int levels, Tone tone)
{
    IndexedPicture picture{coverage.width, coverage.height, std::vector<uint8_t>(coverage.alpha.size()), {}};
    picture.palette.push_back({0, 0, 0});
    for (int i = 0; i < levels; ++i)
        picture.palette.push_back(Visible(Ramp(ramp, float(i) / float(levels - 1))));
    for (int y = 0; y < coverage.height; ++y)
        for (int x = 0; x < coverage.width; ++x) {
            const uint8_t alpha = coverage.alpha[size_t(y) * coverage.width + x];
            if (alpha < 40)
                continue;
            const float t = std::clamp(tone(x, y, float(alpha) / 255.0f), 0.0f, 1.0f);
            picture.indices[size_t(y) * coverage.width + x] = uint8_t(1 + std::lround(t * float(levels - 1)));
        }
    return picture;
}

// The clip picture: a medallion of marbled plasma in a metal ring, the
// show's name across it. Outside the ring every pixel is 0 (keyed out).
Picture ClipPicture(uint64_t seed)
{
    constexpr int side = 159;
    Rng rng = ForkRng(seed, "clip1");
    const Fractal marble = MakeFractal(rng, 3, 5, 0.55f);
    Coverage title = MakeCoverage(side, side);
    DrawTextCentred(title, FONT_SERIF_BOLD, 25, side / 2, 86, "threnody");
    Coverage small = MakeCoverage(side, side);
    DrawTextCentred(small, FONT_SANS_BOLD, 10, side / 2, 110, "KVOR3D");
    const std::vector<Rgb> stone = {HexColour(0x0C0820), HexColour(0x36205A), HexColour(0x7A3A78),
                                    HexColour(0xD08A7A)};
    Picture picture = MakePicture(side, side);
    const float centre = float(side - 1) / 2.0f;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const float dx = float(x) - centre;
            const float dy = float(y) - centre;
            const float r = std::sqrt(dx * dx + dy * dy);
            if (r > 78.5f)
                continue;
            Rgb colour;
            if (r > 70.0f) {
                const float edge = (r - 70.0f) / 8.5f;
                const float shine = 0.5f + 0.5f * std::cos(std::atan2(dy, dx) * 2.0f + 0.8f);
                colour = Mix(HexColour(0x6A6A7A), HexColour(0xF0E6D0), shine * (1.0f - std::fabs(edge - 0.5f)));
            } else {
                const float u = float(x) / side;
                const float v = float(y) / side;
                const float m = 0.5f + 0.5f * std::sin(10.0f * u + 4.0f * FractalNoise(marble, u, v) * 2.0f);
                colour = Scale(Ramp(stone, m), 0.55f + 0.45f * (1.0f - r / 70.0f));
            }
            const float ink = float(title.alpha[size_t(y) * side + x]) / 255.0f;
            const float inkSmall = float(small.alpha[size_t(y) * side + x]) / 255.0f;
            const float gold = 0.5f + 0.5f * float(88 - y) / 22.0f;
            colour = Mix(colour, Mix(HexColour(0xB07A30), HexColour(0xFFF0C0), gold), ink);
            colour = Mix(colour, HexColour(0xC8D8FF), inkSmall);
            SetPixel(picture, x, y, Visible(colour));
        }
    return picture;
}

// The credits: three 26-row strips, each a name set in pale gold.
IndexedPicture CreditsPicture()
{
    constexpr int width = 120;
    const char* strips[3] = {"threnody", "kvor3d engine", "software 3D"};
    Coverage coverage = MakeCoverage(width, 3 * CREDITS_STRIP_ROWS);
    for (int i = 0; i < 3; ++i)
        DrawTextCentred(coverage, i == 0 ? FONT_SERIF_BOLD : FONT_SANS_BOLD, i == 0 ? 17 : 12, width / 2,
                        i * CREDITS_STRIP_ROWS + 17, strips[i]);
    return RampPicture(coverage, {HexColour(0x806030), HexColour(0xFFE8B0), HexColour(0xFFFFFF)}, 15,
                       [](int, int y, float alpha) {
                           const float row = float(y % CREDITS_STRIP_ROWS) / 20.0f;
                           return (1.0f - row) * alpha;
                       });
}

// The end background: a dusk sky over ridges of mountains, a low red sun
// and the first stars.
Picture EndBackground(uint64_t seed)
{
    Rng rng = ForkRng(seed, "end_back");
    const Fractal ridge = MakeFractal(rng, 3, 6, 0.5f);
    const Fractal clouds = MakeFractal(rng, 4, 5, 0.5f);
    const std::vector<Rgb> sky = {HexColour(0x060414), HexColour(0x1C0E34), HexColour(0x5A1A40),
                                  HexColour(0xC0402A), HexColour(0xFFB060)};
    Picture picture = MakePicture(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            const float u = float(x) / 320.0f;
            const float v = float(y) / 200.0f;
            Rgb colour = Ramp(sky, std::pow(v / 0.8f, 1.6f));
            const float cloud = std::max(0.0f, FractalNoise(clouds, u * 2.0f, v * 6.0f));
            colour = Mix(colour, Scale(HexColour(0xFF7050), v), cloud * 0.5f * v);
            const float sx = (float(x) - 228.0f) / 24.0f;
            const float sy = (float(y) - 132.0f) / 24.0f;
            const float sun = std::exp(-(sx * sx + sy * sy));
            colour = Add(colour, Scale(HexColour(0xFFD0A0), sun));
            if (NextUnit(rng) < 0.004 * (1.0 - v))
                colour = Add(colour, Scale(HexColour(0xFFFFFF), float(NextRange(rng, 0.3, 0.9))));
            for (int layer = 0; layer < 3; ++layer) {
                const float h = 0.62f + 0.1f * float(layer) +
                                0.09f * FractalNoise(ridge, u + 0.31f * float(layer), 0.17f * float(layer));
                if (v > h)
                    colour = Mix(HexColour(0x1A0A20), HexColour(0x020104), float(layer) / 2.0f);
            }
            SetPixel(picture, x, y, Visible(colour));
        }
    return picture;
}

// A side panel: a column of brushed metal with the text running down it
// and a notched edge toward the screen's middle (keyed out there).
IndexedPicture SidePanel(uint64_t seed, const char* name, const std::string& text, bool left)
{
    constexpr int width = 76;
    Rng rng = ForkRng(seed, name);
    const Fractal brush = MakeFractal(rng, 4, 4, 0.5f);
    Coverage across = MakeCoverage(SCREEN_HEIGHT, width);
    DrawTextCentred(across, FONT_SANS_BOLD, 30, SCREEN_HEIGHT / 2, 48, text);
    Coverage panel = MakeCoverage(width, SCREEN_HEIGHT);
    for (int y = 0; y < SCREEN_HEIGHT; ++y)
        for (int x = 0; x < width; ++x) {
            const int inner = left ? x : width - 1 - x;
            const int notch = 60 + int(8 * std::sin(float(y) / 9.0f)) + ((y / 25) % 2) * 6;
            panel.alpha[size_t(y) * width + x] = inner < notch ? 255 : 0;
        }
    return RampPicture(
        panel, {HexColour(0x101020), HexColour(0x404858), HexColour(0x9098A8), HexColour(0xE8F0FF)}, 200,
        [&](int x, int y, float) {
            const int tx = left ? SCREEN_HEIGHT - 1 - y : y;
            const int ty = left ? x : width - 1 - x;
            const float letter = float(across.alpha[size_t(ty) * SCREEN_HEIGHT + tx]) / 255.0f;
            const float metal = 0.45f + 0.25f * FractalNoise(brush, float(x) / 76.0f * 0.2f, float(y) / 200.0f) +
                                0.1f * std::sin(float(x) * 0.35f);
            const int inner = left ? x : width - 1 - x;
            const float bevel = inner < 3 ? 0.3f : 0.0f;
            return metal * (1.0f - 0.75f * letter) + bevel;
        });
}

// The lament the show sets line by line under parts 9 and 10.
const std::vector<std::string>& Lament()
{
    static const std::vector<std::string> lines = {
        "the lights went out one by one",
        "and nobody counted them",
        "a room of cold machines",
        "humming a song for no one",
        "I built a world of triangles",
        "three points and a colour each",
        "I taught them how to turn",
        "I taught them how to fall",
        "every frame a little later",
        "every frame a little less",
        "the palette fades to grey",
        "the shadows keep their shape",
        "somewhere a tower stands",
        "against a sky of numbers",
        "and at its edge a figure waits",
        "counting ticks, not seconds",
        "seven hundred thousand a second",
        "and still the night is long",
        "do not look down, they said",
        "so I looked up instead",
        "the stars were only pixels",
        "fifteen bits of longing",
        "the wind is made of vectors",
        "the ground is made of time",
        "and falling is a frame rate",
        "that never quite arrives",
        "hold on to the red light",
        "hold on to the hand",
        "the one that reaches back",
        "through the black between the frames",
        "this is not an ending",
        "only the last scene looping",
        "play it again, slower",
        "play it until it heals",
        "for the ones who went quiet",
        "threnody",
    };
    return lines;
}

// The text strips: one line of the lament per 14 rows, set in a serif face
// in silver, brightest at the top of the letters.
IndexedPicture TextPicture()
{
    const int lines = std::max(TextLineCount(), int(Lament().size()));
    Coverage coverage = MakeCoverage(SCREEN_WIDTH, lines * TEXT_LINE_ROWS);
    for (int i = 0; i < lines && i < int(Lament().size()); ++i)
        DrawTextCentred(coverage, FONT_SERIF, 11, SCREEN_WIDTH / 2, i * TEXT_LINE_ROWS + 10, Lament()[size_t(i)]);
    return RampPicture(coverage, {HexColour(0x606878), HexColour(0xD8E0F0), HexColour(0xFFFFFF)}, 15,
                       [](int, int y, float alpha) {
                           const float row = float(y % TEXT_LINE_ROWS) / 12.0f;
                           return alpha * (1.0f - 0.6f * row);
                       });
}

// The logo: the show's name in chrome letters with a dark rim, the
// engine's name beneath and a thin ring behind both. Keyed.
IndexedPicture LogoPicture()
{
    constexpr int width = 256;
    constexpr int height = 184;
    Coverage letters = MakeCoverage(width, height);
    DrawTextCentred(letters, FONT_SERIF_BOLD, 46, width / 2, 104, "threnody");
    Coverage rim = MakeCoverage(width, height);
    for (int y = 1; y < height - 1; ++y)
        for (int x = 1; x < width - 1; ++x) {
            uint8_t around = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    const int sx = std::clamp(x + dx, 0, width - 1);
                    const int sy = std::clamp(y + dy, 0, height - 1);
                    around = std::max(around, letters.alpha[size_t(sy) * width + sx]);
                }
            rim.alpha[size_t(y) * width + x] = around;
        }
    Coverage engine = MakeCoverage(width, height);
    DrawTextCentred(engine, FONT_SANS_BOLD, 13, width / 2, 130, "K V O R 3 D");
    Coverage all = MakeCoverage(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * width + x;
            const float dx = float(x) - 127.5f;
            const float dy = float(y) - 92.0f;
            const float ring = std::fabs(std::sqrt(dx * dx + dy * dy) - 86.0f);
            const uint8_t ringAlpha = ring < 1.5f ? 255 : 0;
            all.alpha[i] = std::max({rim.alpha[i], engine.alpha[i], ringAlpha});
        }
    return RampPicture(all,
                       {HexColour(0x0A0A18), HexColour(0x30284A), HexColour(0xFFFFFF), HexColour(0x5A4A70),
                        HexColour(0xC0B0E0), HexColour(0xFFF8E0)},
                       255, [&](int x, int y, float) {
                           const size_t i = size_t(y) * width + x;
                           if (engine.alpha[i] > 40)
                               return 0.85f;
                           if (letters.alpha[i] < 100)
                               return 0.08f;
                           const float t = float(y - 64) / 44.0f;
                           return 0.25f + 0.75f * std::clamp(t + 0.03f * std::sin(float(x) * 0.2f), 0.0f, 1.0f);
                       });
}

}  // namespace

int TextLineAt(uint32_t ticks, float offset)
{
    const uint32_t n = ticks / TICKS_PER_SECOND;
    float t = float(n) + offset;
    if (t < 0)
        t = 0;
    t = 0.55f * t;
    return int(t);
}

int TextLineCount()
{
    const uint32_t end9 = uint32_t(std::lround(SUECIDE_SECONDS * TICKS_PER_SECOND));
    const uint32_t end10 = uint32_t(std::lround(SUECIDE2_SECONDS * TICKS_PER_SECOND));
    return std::max(TextLineAt(end9, -2.0f), TextLineAt(end10, 38.0f)) + 1;
}

void WriteShowFiles(const std::string& dir, uint64_t seed)
{
    WriteFile(dir, ".palette", palettefile::CubePalette());
    WriteFile(dir, "fademask.cnk", CurtainMask(seed));
    WriteFile(dir, "fademask1.cnk", SpiralMask(seed));
    WriteFile(dir, "alien1.rgb15", AlienPicture(seed));
    WriteFile(dir, "tabxy.bin", TunnelTable());
    WriteFile(dir, "pl_txt.iff", EncodeIlbm(TunnelTexture(seed)));
    WriteFile(dir, "clip1.iff", EncodeIlbm(ClipPicture(seed)));
    WriteFile(dir, "credits.iff", EncodeIlbm(CreditsPicture()));
    WriteFile(dir, "end_back.iff", EncodeIlbm(EndBackground(seed)));
    WriteFile(dir, "bitch.iff", EncodeIlbm(SidePanel(seed, "bitch", "THRENODY", true)));
    WriteFile(dir, "bitch2.iff", EncodeIlbm(SidePanel(seed, "bitch2", "KVOR3D", false)));
    WriteFile(dir, "txt.iff", EncodeIlbm(TextPicture()));
    WriteFile(dir, "logo.iff", EncodeIlbm(LogoPicture()));
}

}  // namespace kvordata
