// The ILBM encoder: planar rows, each plane row ByteRun1-coded by itself,
// in a FORM with BMHD, an optional CMAP and the BODY.
#include "ilbm_writer.h"

#include "kvor3d.h"

#include <algorithm>

using namespace kvor3d;

namespace ilbm {

namespace {

constexpr size_t BYTERUN1_MAX = 128;  // longest literal or run of one control byte
constexpr uint8_t BMHD_X_ASPECT = 10;  // the 320 × 200 screen's pixel shape
constexpr uint8_t BMHD_Y_ASPECT = 11;

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void PutU16(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

void PutId(std::vector<uint8_t>& out, uint32_t id)
{
    PutU32(out, id);
}

// Appends a chunk with its header and the pad byte an odd size needs.
void PutChunk(std::vector<uint8_t>& out, uint32_t id, const std::vector<uint8_t>& payload)
{
    PutId(out, id);
    PutU32(out, uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (payload.size() & 1)
        out.push_back(0);
}

std::vector<uint8_t> Bmhd(int width, int height, int planes)
{
    std::vector<uint8_t> b;
    PutU16(b, uint32_t(width));
    PutU16(b, uint32_t(height));
    PutU16(b, 0);  // x, y
    PutU16(b, 0);
    b.push_back(uint8_t(planes));
    b.push_back(0);  // no mask plane
    b.push_back(uint8_t(ILBM_COMPRESSION_BYTERUN1));
    b.push_back(0);
    PutU16(b, 0);  // transparent colour
    b.push_back(BMHD_X_ASPECT);
    b.push_back(BMHD_Y_ASPECT);
    PutU16(b, uint32_t(width));
    PutU16(b, uint32_t(height));
    return b;
}

// Sets bit 7 − (x mod 8) of byte x / 8 of each plane row whose bit is set in
// the value, for `bits` planes starting at plane `first`.
void PutPlaneBits(std::vector<uint8_t>& planes, size_t rowBytes, int first, int bits, int x, uint32_t value)
{
    const uint8_t mask = uint8_t(0x80 >> (x & 7));
    for (int p = 0; p < bits; ++p)
        if (value & (1u << p))
            planes[size_t(first + p) * rowBytes + size_t(x >> 3)] |= mask;
}

std::vector<uint8_t> Form(int width, int height, int planes, const std::vector<uint8_t>* cmap,
                          const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> out;
    PutId(out, ID_FORM);
    PutU32(out, 0);
    PutId(out, ID_ILBM);
    PutChunk(out, ID_BMHD, Bmhd(width, height, planes));
    if (cmap)
        PutChunk(out, ID_CMAP, *cmap);
    PutChunk(out, ID_BODY, body);
    const uint32_t formSize = uint32_t(out.size() - 8);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = uint8_t(formSize >> (24 - 8 * i));
    return out;
}

// The BODY of a picture whose pixel (x, y) has the `planes`-bit value
// value(x, y).
template <typename PixelValue>
std::vector<uint8_t> Body(int width, int height, int planes, PixelValue value)
{
    const size_t rowBytes = IlbmRowBytes(uint32_t(width));
    std::vector<uint8_t> body;
    std::vector<uint8_t> rows(rowBytes * size_t(planes));
    for (int y = 0; y < height; ++y) {
        std::fill(rows.begin(), rows.end(), 0);
        for (int x = 0; x < width; ++x)
            PutPlaneBits(rows, rowBytes, 0, planes, x, value(x, y));
        for (int p = 0; p < planes; ++p)
            ByteRun1Encode(&rows[size_t(p) * rowBytes], rowBytes, body);
    }
    return body;
}

}  // namespace

// Each step starts either a repeat, when its first two bytes are equal, or a
// literal, which ends where three equal bytes begin; both hold up to 128.
void ByteRun1Encode(const uint8_t* row, size_t count, std::vector<uint8_t>& out)
{
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && run < BYTERUN1_MAX && row[i + run] == row[i])
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(int8_t(1 - int(run))));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < count && literal < BYTERUN1_MAX) {
            const size_t j = i + literal;
            if (j + 2 < count && row[j] == row[j + 1] && row[j] == row[j + 2])
                break;
            ++literal;
        }
        out.push_back(uint8_t(literal - 1));
        out.insert(out.end(), row + i, row + i + literal);
        i += literal;
    }
}

// 24 planes: red in planes 0-7, green 8-15, blue 16-23, each lowest bit first.
std::vector<uint8_t> EncodeTrueColour(int width, int height, const std::vector<uint8_t>& rgb)
{
    const auto value = [&](int x, int y) {
        const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    };
    const int planes = int(ILBM_TRUE_COLOUR_PLANES);
    return Form(width, height, planes, nullptr, Body(width, height, planes, value));
}

std::vector<uint8_t> EncodeIndexed(int width, int height, const std::vector<uint8_t>& indices,
                                   const std::vector<uint8_t>& cmap)
{
    int planes = 1;
    while ((size_t(1) << planes) < cmap.size() / 3)
        ++planes;
    std::vector<uint8_t> full(cmap);
    full.resize((size_t(1) << planes) * 3, 0);
    const auto value = [&](int x, int y) { return uint32_t(indices[size_t(y) * size_t(width) + size_t(x)]); };
    return Form(width, height, planes, &full, Body(width, height, planes, value));
}

}  // namespace ilbm
