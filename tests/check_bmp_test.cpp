// blitshow's header check, compiled from the program's own source, on
// headers made in memory, each with the file size it claims to come with:
// every rule at its edge, the last case it lets through and the first it
// refuses, with the exact reason.
#include "check_bmp.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
struct Header {
    Uint32 info = 40; // 12 is OS/2's
    Sint32 width = 1;
    Sint32 height = 1;
    Uint16 bits = 24;
    Uint32 compression = 0;
    Uint32 colours = 0;
    Sint64 offset = -1; // -1: right after the headers and the palette
    char magic = 'B';   // 'B' for "BM"
};

// Bytes of the palette the header announces.
Sint64 paletteBytes(const Header &h)
{
    const Sint64 entries = h.colours ? h.colours : h.bits <= 8 ? 1 << h.bits : 0;
    return entries * (h.info == 12 ? 3 : 4);
}

Sint64 pixelsAt(const Header &h)
{
    return h.offset >= 0 ? h.offset : 14 + h.info + paletteBytes(h);
}

// Where the rows end, each padded to 4 bytes: a file that holds them all,
// for the cases whose size is beside the point. The size rules' own edges
// give their sizes as numbers, so that a formula wrong here and in the
// check alike still fails.
Sint64 rowsEnd(const Header &h)
{
    const Sint64 rows = h.height < 0 ? -static_cast<Sint64>(h.height) : h.height;
    return pixelsAt(h) + (static_cast<Sint64>(h.width) * h.bits + 31) / 32 * 4 * rows;
}

void put(std::vector<Uint8> &out, std::size_t at, Uint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<Uint8>(value >> (8 * i));
}

std::vector<Uint8> encode(const Header &h)
{
    std::vector<Uint8> out(14 + std::max<Uint32>(h.info, 40));
    out[0] = h.magic;
    out[1] = 'M';
    put(out, 10, static_cast<Uint32>(pixelsAt(h)), 4);
    put(out, 14, h.info, 4);
    if (h.info == 12) {
        put(out, 18, static_cast<Uint32>(h.width), 2);
        put(out, 20, static_cast<Uint32>(h.height), 2);
        put(out, 22, 1, 2);
        put(out, 24, h.bits, 2);
        return out;
    }
    put(out, 18, static_cast<Uint32>(h.width), 4);
    put(out, 22, static_cast<Uint32>(h.height), 4);
    put(out, 26, 1, 2);
    put(out, 28, h.bits, 2);
    put(out, 30, h.compression, 4);
    put(out, 46, h.colours, 4);
    return out;
}

struct Case {
    std::string what;
    Header header;
    Sint64 size;        // the file size the check is given
    const char *reason; // "" where the picture goes on to the loader
};

const char *const passes = "";
const char *const outOfRange = "BMP size out of range";
const char *const compressedOutOfRange = "BMP compressed size out of range";
const char *const tooManyColours = "BMP palette has too many colors";
const char *const noPalette = "BMP palette is incomplete";
const char *const noPixels = "BMP pixel data is incomplete";
const char *const incomplete = "BMP header is incomplete";
const char *const mismatch = "BMP compression does not match bit count";
const char *const badBits = "BMP bit count not supported";
const char *const badHeaderSize = "BMP header size not supported";

// One case whose size is where its rows end.
Case rows(std::string what, Header h, const char *reason)
{
    return {std::move(what), h, rowsEnd(h), reason};
}

std::vector<Case> cases()
{
    const Sint32 int32Min = INT32_MIN;
    std::vector<Case> all = {
        rows("width 8192", {.width = 8192}, passes),
        rows("width 8193", {.width = 8193}, outOfRange),
        rows("width 1", {.width = 1}, passes),
        rows("width 0", {.width = 0}, outOfRange),
        {"width -1", {.width = -1}, 1000, outOfRange},
        rows("height 8192", {.height = 8192}, passes),
        rows("height 8193", {.height = 8193}, outOfRange),
        rows("height 0", {.height = 0}, outOfRange),
        rows("top-down height -8192", {.height = -8192}, passes),
        rows("top-down height -8193", {.height = -8193}, outOfRange),
        {"height -2^31", {.height = int32Min}, 1000, outOfRange},
        rows("OS/2 width 8192", {.info = 12, .width = 8192}, passes),
        rows("OS/2 width 8193", {.info = 12, .width = 8193}, outOfRange),
        rows("OS/2 height 8193", {.info = 12, .height = 8193}, outOfRange),

        // Two bytes of end-of-picture code after the palette.
        {"RLE8 4096 wide", {.width = 4096, .bits = 8, .compression = 1}, 1078 + 2, passes},
        {"RLE8 4097 wide",
         {.width = 4097, .bits = 8, .compression = 1},
         1078 + 2,
         compressedOutOfRange},
        {"RLE4 4096 high", {.height = 4096, .bits = 4, .compression = 2}, 118 + 2, passes},
        {"RLE4 4097 high",
         {.height = 4097, .bits = 4, .compression = 2},
         118 + 2,
         compressedOutOfRange},
        {"RLE8 top-down -4097 high",
         {.height = -4097, .bits = 8, .compression = 1},
         1078 + 2,
         compressedOutOfRange},
        {"RLE8 at 8 bits", {.bits = 8, .compression = 1}, 1078 + 2, passes},
        {"RLE8 at 4 bits", {.bits = 4, .compression = 1}, 118 + 2, mismatch},
        {"RLE4 at 4 bits", {.bits = 4, .compression = 2}, 118 + 2, passes},
        {"RLE4 at 8 bits", {.bits = 8, .compression = 2}, 1078 + 2, mismatch},
        {"RLE8 at 24 bits", {.compression = 1}, 54 + 2, mismatch},
        // Other compression values are read as plain rows by some libraries.
        {"compression 4, rows present", {.compression = 4}, 54 + 4, passes},
        {"compression 4, rows one byte short", {.compression = 4}, 54 + 3, noPixels},

        // Palette entries: 4 bytes in Windows headers, 3 in OS/2 ones.
        {"8-bit palette of 256 present", {.bits = 8, .offset = 54}, 54 + 1024, passes},
        {"8-bit palette of 256 one byte short", {.bits = 8, .offset = 54}, 54 + 1023, noPalette},
        {"8-bit palette of 2 present", {.bits = 8, .colours = 2, .offset = 54}, 54 + 8, passes},
        {"8-bit palette of 2 one byte short",
         {.bits = 8, .colours = 2, .offset = 54},
         54 + 7,
         noPalette},
        {"OS/2 8-bit palette present", {.info = 12, .bits = 8, .offset = 26}, 26 + 768, passes},
        {"OS/2 8-bit palette one byte short",
         {.info = 12, .bits = 8, .offset = 26},
         26 + 767,
         noPalette},
        {"OS/2 1-bit palette present", {.info = 12, .bits = 1, .offset = 26}, 26 + 6, passes},
        {"OS/2 1-bit palette one byte short",
         {.info = 12, .bits = 1, .offset = 26},
         26 + 5,
         noPalette},

        // Colour masks follow a 16- or 32-bit header unless the pixels do.
        {"32-bit masks present", {.bits = 32, .compression = 3, .offset = 54}, 66, passes},
        {"32-bit masks one byte short",
         {.bits = 32, .compression = 3, .offset = 54},
         65,
         incomplete},
        {"16-bit masks before a gap present", {.bits = 16, .offset = 60}, 66, passes},
        {"16-bit masks before a gap one byte short", {.bits = 16, .offset = 60}, 65, incomplete},
        {"16-bit pixels right after the header", {.bits = 16, .offset = 54}, 58, passes},

        {"BM alone, in a file of 2 bytes", {}, 2, incomplete},
        // The header size is read only from a file of 18 bytes on.
        {"a file of 17 bytes", {}, 17, incomplete},
        {"header size 39 in a file of 18 bytes", {.info = 39}, 18, badHeaderSize},
        {"header size 40 in a file of 18 bytes", {.info = 40}, 18, incomplete},
        // The whole header must be in the file, whatever its size.
        {"a 64-byte header with its last byte missing", {.info = 64}, 14 + 63, incomplete},
        {"a 64-byte header whole, no rows", {.info = 64}, 14 + 64, noPixels},
        rows("no BM: the loader names that itself", {.magic = 'G'}, passes),
        // 8192 x 8192 pixels of 4 bytes, and a MiB.
        {"a file at the size bound", {}, 269'484'032, passes},
        {"a file one byte over the size bound", {}, 269'484'033, "BMP file is too large"},
        {"top-down rows, one short", {.width = 1, .height = -2}, 54 + 2 * 4 - 1, noPixels},
    };
    // Two rows, each padded to 4 bytes, after the headers and a 1-bit
    // picture's palette of 8 bytes.
    const std::tuple<Uint16, Sint32, Sint64> padded[] = {
        {24, 1, 54 + 2 * 4},     {24, 2, 54 + 2 * 8},     {24, 3, 54 + 2 * 12},
        {1, 31, 54 + 8 + 2 * 4}, {1, 32, 54 + 8 + 2 * 4}, {1, 33, 54 + 8 + 2 * 8}};
    for (const auto &[bits, width, size] : padded) {
        const Header h = {.width = width, .height = 2, .bits = bits};
        const std::string name =
            std::to_string(bits) + "-bit rows " + std::to_string(width) + " wide";
        all.push_back({name, h, size, passes});
        all.push_back({name + ", one short", h, size - 1, noPixels});
    }
    for (Uint16 bits : {1, 2, 4, 8}) {
        const Uint32 most = 1u << bits;
        const std::string name = std::to_string(bits) + "-bit palette of ";
        all.push_back(rows(name + std::to_string(most), {.bits = bits, .colours = most}, passes));
        all.push_back(rows(name + std::to_string(most + 1), {.bits = bits, .colours = most + 1},
                           tooManyColours));
    }
    for (Uint16 bits : {1, 2, 4, 8, 16, 24, 32})
        all.push_back(rows(std::to_string(bits) + " bits", {.bits = bits}, passes));
    for (Uint16 bits : {0, 3, 64})
        all.push_back(rows(std::to_string(bits) + " bits", {.bits = bits}, badBits));
    // OS/2 2.x's is 64, Windows' V3 to V5 are 40 to 124.
    for (Uint32 info : {12, 40, 41, 52, 56, 64, 108, 124, 200})
        all.push_back(rows("header size " + std::to_string(info), {.info = info}, passes));
    for (Uint32 info : {11, 13, 39})
        all.push_back(rows("header size " + std::to_string(info), {.info = info}, badHeaderSize));
    return all;
}

TEST(CheckBMP, EachRuleAtItsEdge)
{
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.what);
        std::vector<Uint8> bytes = encode(c.header);
        SDL_RWops *rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
        ASSERT_NE(rw, nullptr);
        SDL_ClearError();
        const bool passed = checkBMP(rw, c.size);
        EXPECT_EQ(passed, *c.reason == '\0');
        EXPECT_EQ(std::string(SDL_GetError()), c.reason);
        EXPECT_EQ(SDL_RWtell(rw), 0) << "the stream must be left where it was, for the loader";
        SDL_RWclose(rw);
    }
}
} // namespace
