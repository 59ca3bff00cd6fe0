#include "image/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t GUARD = 0xEE;

// One row decoded into a buffer that has guard bytes after the row.
struct Decoded {
    long used;    // code bytes used, −1 when the decoder failed
    Bytes row;    // the row's bytes
    Bytes guard;  // what follows the row in the buffer
};

Decoded Decode(const Bytes& code, size_t rowBytes)
{
    Bytes buffer(rowBytes + 16, GUARD);
    const uint8_t* end = code.data() + code.size();
    const uint8_t* next = ByteRun1Decode(code.data(), end, buffer.data(), rowBytes);
    return {next ? long(next - code.data()) : -1, Bytes(buffer.begin(), buffer.begin() + long(rowBytes)),
            Bytes(buffer.begin() + long(rowBytes), buffer.end())};
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

TEST(ByteRun1, CopiesLiteralsRepeatsRunsAndSkipsNoOps)
{
    // 2: three literal bytes; −2 (0xFE): three copies; −128: nothing; 0: one literal.
    const Bytes code{2, 'a', 'b', 'c', 0xFE, 'x', 0x80, 0, 'z'};
    const Decoded d = Decode(code, 7);
    EXPECT_EQ(d.used, long(code.size()));
    EXPECT_EQ(d.row, Text("abcxxxz"));
    EXPECT_EQ(d.guard, Bytes(16, GUARD));
}

TEST(ByteRun1, LongestLiteralAndRunAre128Bytes)
{
    Bytes code{0x7F};
    for (int i = 0; i < 128; ++i)
        code.push_back(uint8_t(i));
    code.push_back(0x81);  // −127: 128 copies
    code.push_back(0x5A);
    const Decoded d = Decode(code, 256);
    EXPECT_EQ(d.used, long(code.size()));
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(d.row[size_t(i)], uint8_t(i));
    EXPECT_EQ(Bytes(d.row.begin() + 128, d.row.end()), Bytes(128, 0x5A));
}

TEST(ByteRun1, EachRowStopsWhereItIsFullAndLeavesTheNextRowsCode)
{
    // Two rows of four: a run of four 'p', then a literal "qrst".
    const Bytes code{0xFD, 'p', 3, 'q', 'r', 's', 't'};
    const Decoded first = Decode(code, 4);
    ASSERT_EQ(first.used, 2);
    EXPECT_EQ(first.row, Text("pppp"));
    const Decoded second = Decode(Bytes(code.begin() + 2, code.end()), 4);
    EXPECT_EQ(second.used, 5);
    EXPECT_EQ(second.row, Text("qrst"));
}

TEST(ByteRun1, MalformedCodeFailsWithoutWritingPastTheRow)
{
    struct Case {
        const char* what;
        Bytes code;
    };
    const Case cases[] = {
        {"literal passing the row end", {5, 1, 2, 3, 4, 5, 6}},
        {"literal passing the row end after a run", {0xFE, 9, 1, 1, 2, 3}},
        {"run passing the row end", {0xFB, 7}},
        {"longest run into a short row", {0x81, 7}},
        {"code ending inside a literal", {3, 1, 2}},
        {"code ending before the run byte", {0xFE}},
        {"code ending before the row is full", {0xFF, 1}},
        {"only no-op controls", {0x80, 0x80, 0x80}},
        {"no code at all", {}},
    };
    for (const Case& c : cases) {
        const Decoded d = Decode(c.code, 4);
        EXPECT_EQ(d.used, -1) << c.what;
        EXPECT_EQ(d.guard, Bytes(16, GUARD)) << c.what;
    }
}

}  // namespace
