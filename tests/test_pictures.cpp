/*
 * Hostile picture files through the shared loader: each is refused with
 * its fault before the library reads it (the library's own refusal says
 * only "not a BMP picture the library can read"), and well-formed
 * pictures of the kinds the checks walk still load.
 */
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

#include "present_support.h"

/* A Windows BMP: 14-byte file header, 40-byte info header, then `tail`
 * (palette and pixel data) as given. */
struct bmp_spec {
    int32_t w = 4, h = 4;
    int bpp = 24;
    uint32_t comp = 0, offset = 54, data_size = 0, header = 40;
    std::string tail = std::string(48, '\x40');   /* 4x4 at 24 bits */
};

static std::string le(uint32_t v, int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += (char)(v >> (8 * i));
    return s;
}

static std::string bmp(const bmp_spec &b)
{
    std::string info = le(b.header, 4) + le(b.w, 4) + le(b.h, 4) + le(1, 2) + le(b.bpp, 2)
                       + le(b.comp, 4) + le(b.data_size, 4) + std::string(16, '\0');
    std::string body = info + b.tail;
    return "BM" + le(14 + body.size(), 4) + le(0, 4) + le(b.offset, 4) + body;
}

/* An 8-bit palette of n entries, entry i grey 60 * i. */
static std::string palette(int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += std::string(3, (char)(60 * i)) + '\0';
    return s;
}

static std::string picture_file(const std::string &bytes)
{
    static int n;
    std::string path = "/tmp/caravelt-picture-" + std::to_string(getpid()) + "-"
                       + std::to_string(n++) + ".bmp";
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

static std::string with(bmp_spec b, void (*change)(bmp_spec &))
{
    change(b);
    return bmp(b);
}

TEST(Pictures, HostileHeadersAreRefusedWithTheirFault)
{
    start_library();
    const std::string ok24 = bmp({});
    const std::string pal4 = palette(4);
    const struct { std::string bytes; const char *fault; } cases[] = {
        {with({}, [](bmp_spec &b) { b.w = 0x40000000; }),
         "size 1073741824x4 outside 1x1 to 4096x4096"},
        {with({}, [](bmp_spec &b) { b.w = b.h = 0x7fffffff; }),
         "size 2147483647x2147483647 outside 1x1 to 4096x4096"},
        {with({}, [](bmp_spec &b) { b.w = b.h = 0; }), "size 0x0 outside 1x1 to 4096x4096"},
        {with({}, [](bmp_spec &b) { b.w = -4; }), "size -4x4 outside 1x1 to 4096x4096"},
        {with({}, [](bmp_spec &b) { b.h = -4097; }), "size 4x-4097 outside 1x1 to 4096x4096"},
        {with({}, [](bmp_spec &b) { b.bpp = 7; }),
         "unsupported depth of 7 bits per pixel (8, 16, 24 or 32)"},
        {with({}, [](bmp_spec &b) { b.bpp = 4; b.offset = 54 + 64; }),
         "unsupported depth of 4 bits per pixel (8, 16, 24 or 32)"},
        {with({}, [](bmp_spec &b) { b.comp = 2; }), "unsupported compression 2"},
        {with({}, [](bmp_spec &b) { b.header = 108; }),
         "unsupported BMP header of 108 bytes (40 or 12 are read)"},
        {ok24.substr(0, 30), "truncated BMP header (30 bytes)"},
        {ok24.substr(0, ok24.size() - 1),
         "pixel data runs past the end of the file (48 bytes at offset 54, the file has 101)"},
        {with({}, [](bmp_spec &b) { b.w = b.h = 64; }),
         "pixel data runs past the end of the file (12288 bytes at offset 54, the file has 102)"},
        {with({}, [](bmp_spec &b) { b.offset = 0x7ffffff0; }),
         "pixel data offset 2147483632 outside 54 to 102"},
        {with({}, [](bmp_spec &b) { b.offset = 20; }), "pixel data offset 20 outside 54 to 102"},
        {with({}, [](bmp_spec &b) { b.offset = 54 + 4 * 300; b.tail = palette(300) + b.tail; }),
         "palette of 300 entries (at most 256)"},
        {with({}, [](bmp_spec &b) { b.bpp = 8; b.tail = std::string(16, '\1'); }),
         "8-bit picture without a palette"},
        {with({}, [](bmp_spec &b) { b.bpp = 8; b.offset = 70; b.tail = palette(4) + std::string(15, '\1') + '\7'; }),
         "colour 7 beyond the palette's 4 entries"},
        {with({}, [](bmp_spec &b) { b.comp = 3; b.bpp = 16; b.offset = 66;
                                    b.tail = le(0xf000, 4) + le(0xff0, 4) + le(0xf, 4) + std::string(32, 0); }),
         "unsupported bit-field masks at 16 bits per pixel"},
        {with({}, [](bmp_spec &b) { b.comp = 3; b.bpp = 32; b.offset = 70;
                                    b.tail = le(0xff0000, 4) + le(0xff00, 4) + le(0xff, 4) + std::string(68, 0); }),
         "bit-field pixel data at offset 70, not right after the masks"},
        {with({}, [](bmp_spec &b) { b.comp = 1; }), "RLE8 compression at 24 bits per pixel"},
        {with({}, [](bmp_spec &b) { b.h = -4; }), "size 4x-4 outside 1x1 to 4096x4096"},
        /* RLE8 garbage: the 4x4 picture's stream after a 4-entry palette */
        {with({}, [](bmp_spec &b) { b.comp = 1; b.bpp = 8; b.offset = 70; b.data_size = 4;
                                    b.tail = palette(4) + std::string("\x05\x01\x00\x01", 4); }),
         "RLE8 run past the end of a row"},
        {with({}, [](bmp_spec &b) { b.comp = 1; b.bpp = 8; b.offset = 70; b.data_size = 4;
                                    b.tail = palette(4) + std::string("\x04\x01\x00\x00", 4); }),
         "RLE8 data ends before its end-of-picture mark"},
        {with({}, [](bmp_spec &b) { b.comp = 1; b.bpp = 8; b.offset = 70; b.data_size = 6;
                                    b.tail = palette(4) + std::string("\x00\x02\x01\x09\x00\x01", 6); }),
         "RLE8 move outside the picture"},
        {with({}, [](bmp_spec &b) { b.comp = 1; b.bpp = 8; b.offset = 70; b.data_size = 6;
                                    b.tail = palette(4) + std::string("\x00\x03\x01\x02\x09\x00", 6); }),
         "colour 9 beyond the palette's 4 entries"},
        {with({}, [](bmp_spec &b) { b.comp = 1; b.bpp = 8; b.offset = 70; b.data_size = 1000;
                                    b.tail = palette(4) + std::string("\x00\x01", 2); }),
         "RLE8 data of 1000 bytes at offset 70 outside the file (72 bytes)"},
        {"GIF89a", "not a BMP picture (no \"BM\" at the start)"},
    };
    for (const auto &c : cases) {
        char why[256] = "";
        std::string path = picture_file(c.bytes);
        BITMAP *b = load_picture(path.c_str(), why, sizeof why);
        unlink(path.c_str());
        EXPECT_FALSE(b) << c.fault;
        EXPECT_STREQ(why, c.fault);
    }
    char why[256] = "";
    EXPECT_FALSE(load_picture("/dev/zero", why, sizeof why));
    EXPECT_STREQ(why, "not a regular file");
}

static BITMAP *load_bytes(const std::string &bytes, char *why, size_t size)
{
    std::string path = picture_file(bytes);
    BITMAP *b = load_picture(path.c_str(), why, size);
    unlink(path.c_str());
    return b;
}

/* The kinds the checks walk, well formed: read by the library, whole. */
TEST(Pictures, WellFormedKindsStillLoad)
{
    start_library();
    /* 4x4 RLE8, bottom row first: a run of 4; 4 literal pixels; a move
     * of (1, 1) to the top row and a run of 2; end of picture. */
    bmp_spec rle;
    rle.comp = 1, rle.bpp = 8, rle.offset = 70, rle.data_size = 20;
    rle.tail = palette(4) + std::string("\x04\x01\x00\x00" "\x00\x04\x01\x02\x03\x00\x00\x00"
                                        "\x00\x02\x01\x01" "\x02\x03\x00\x01", 20);
    bmp_spec os2;   /* 12-byte header: 16-bit sides, no compression field */
    os2.header = 12, os2.offset = 26;
    std::string os2_bytes = bmp(os2);
    os2_bytes = os2_bytes.substr(0, 18) + le(4, 2) + le(4, 2) + le(1, 2) + le(24, 2) + os2.tail;
    for (const std::string &bytes : {bmp({}), os2_bytes, bmp(rle)}) {
        char why[256] = "";
        BITMAP *b = load_bytes(bytes, why, sizeof why);
        ASSERT_TRUE(b) << why;
        EXPECT_TRUE(b->w == 4 && b->h == 4);
        destroy_bitmap(b);
    }
    char why[256] = "";
    BITMAP *b = load_bytes(bmp(rle), why, sizeof why);
    int grey[4] = {0, 60, 120, 180};   /* palette(): entry i is grey 60 * i */
    const int want[4][4] = {{0, 3, 3, 0}, {0, 0, 0, 0}, {1, 2, 3, 0}, {1, 1, 1, 1}};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(getpixel(b, x, y), makecol(grey[want[y][x]], grey[want[y][x]], grey[want[y][x]]))
                << x << "," << y;
    destroy_bitmap(b);
}
