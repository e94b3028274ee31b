/* Hostile picture files through the shared loader, before the library reads them. */
#include "present_support.h"

static std::string le(uint32_t v, int n) { std::string s; while (n--) s += (char)v, v >>= 8; return s; }
/* An 8-bit palette of n entries, entry i grey 60 * i. */
static std::string palette(int n) { std::string s; for (int i = 0; i < n; i++) s += std::string(3, (char)(60 * i)) + '\0'; return s; }

/* A BMP: file and info headers, then `tail` (palette and pixels); 4x4 at 24 bits unless changed. */
struct bmp {
    int32_t w = 4, h = 4;
    int bpp = 24;
    uint32_t comp = 0, offset = 54, data_size = 0, header = 40;
    std::string tail = std::string(48, '\x40');
    operator std::string() const
    {
        std::string body = le(header, 4) + le(w, 4) + le(h, 4) + le(1, 2) + le(bpp, 2) + le(comp, 4)
                           + le(data_size, 4) + std::string(16, '\0') + tail;
        return "BM" + le(14 + body.size(), 4) + le(0, 4) + le(offset, 4) + body;
    }
};
/* 4x4 RLE8 after a 4-entry palette. */
static bmp rle8(const std::string &stream, uint32_t size = 0)
{
    return {.bpp = 8, .comp = 1, .offset = 70, .data_size = size ? size : (uint32_t)stream.size(), .tail = palette(4) + stream};
}

/* Catches a header fault passed on to the library or its reason lost, a well-formed kind refused (""). */
TEST(Pictures, HostileHeadersAreRefusedWellFormedOnesLoad)
{
    start_library();
    const std::string ok24 = bmp{}, size = " outside 1x1 to 4096x4096";
    const std::string os2   /* 12-byte header: 16-bit sides, no compression field */ = std::string(bmp{.offset = 26, .header = 12}).substr(0, 18)
                            + le(4, 2) + le(4, 2) + le(1, 2) + le(24, 2) + std::string(48, '\x40');
    const struct { std::string bytes, fault; } cases[] = {
        {ok24, ""},
        {os2, ""},
        /* bottom row first: a run of 4; 4 literal pixels; a move of (1, 1), a run of 2; the end */
        {rle8(std::string("\x04\x01\x00\x00" "\x00\x04\x01\x02\x03\x00\x00\x00" "\x00\x02\x01\x01" "\x02\x03\x00\x01", 20)), ""},
        {bmp{.w = 0x40000000}, "size 1073741824x4" + size},
        {bmp{.w = 0, .h = 0}, "size 0x0" + size},
        {bmp{.w = -4}, "size -4x4" + size},
        {bmp{.h = -4}, "size 4x-4" + size},
        {bmp{.bpp = 7}, "unsupported depth of 7 bits per pixel (8, 16, 24 or 32)"},
        {bmp{.bpp = 4, .offset = 54 + 64}, "unsupported depth of 4 bits per pixel (8, 16, 24 or 32)"},
        {bmp{.comp = 2}, "unsupported compression 2"},
        {bmp{.header = 108}, "unsupported BMP header of 108 bytes (40 or 12 are read)"},
        {ok24.substr(0, 30), "truncated BMP header (30 bytes)"},
        {ok24.substr(0, ok24.size() - 1), "pixel data runs past the end of the file (48 bytes at offset 54, the file has 101)"},
        {bmp{.offset = 0x7ffffff0}, "pixel data offset 2147483632 outside 54 to 102"},
        {bmp{.offset = 20}, "pixel data offset 20 outside 54 to 102"},
        {bmp{.offset = 54 + 4 * 300, .tail = palette(300) + std::string(48, '\x40')}, "palette of 300 entries (at most 256)"},
        {bmp{.bpp = 8, .tail = std::string(16, '\1')}, "8-bit picture without a palette"},
        {bmp{.bpp = 8, .offset = 70, .tail = palette(4) + std::string(15, '\1') + '\7'}, "colour 7 beyond the palette's 4 entries"},
        {bmp{.bpp = 16, .comp = 3, .offset = 66, .tail = le(0xf000, 4) + le(0xff0, 4) + le(0xf, 4) + std::string(32, 0)},
         "unsupported bit-field masks at 16 bits per pixel"},
        {bmp{.bpp = 32, .comp = 3, .offset = 70, .tail = le(0xff0000, 4) + le(0xff00, 4) + le(0xff, 4) + std::string(68, 0)},
         "bit-field pixel data at offset 70, not right after the masks"},
        {bmp{.comp = 1}, "RLE8 compression at 24 bits per pixel"},
        {rle8(std::string("\x05\x01\x00\x01", 4)), "RLE8 run past the end of a row and its padding to 4 bytes"},
        {rle8(std::string("\x04\x01\x00\x00", 4)), "RLE8 data ends before its end-of-picture mark"},
        {rle8(std::string("\x00\x02\x01\x09\x00\x01", 6)), "RLE8 move outside the picture"},
        {rle8(std::string("\x00\x03\x01\x02\x09\x00", 6)), "colour 9 beyond the palette's 4 entries"},
        {rle8(std::string("\x00\x01", 2), 1000), "RLE8 data of 1000 bytes at offset 70 outside the file (72 bytes)"},
        {"GIF89a", "not a BMP picture (no \"BM\" at the start)"},
    };
    temp_dir d;
    char why[256];
    for (const auto &c : cases) {
        write_file(d / "p.bmp", c.bytes);
        why[0] = '\0';
        BITMAP *b = load_picture((d / "p.bmp").c_str(), why, sizeof why);
        EXPECT_EQ(why, c.fault);
        EXPECT_TRUE(c.fault.empty() ? b && b->w == 4 && b->h == 4 : !b) << c.fault;
        b ? destroy_bitmap(b) : void();
    }
    EXPECT_FALSE(load_picture("/dev/zero", why, sizeof why));
    EXPECT_STREQ(why, "not a regular file");
}

/* Catches the library handed a palette under 256 entries (read uninitialised) or RLE8 (its decoder
 * writes wherever a run says): each goes on plain, the entries black to 256, the pixels as drawn. */
TEST(Pictures, EightBitPicturesReachTheLibraryPlainWithAFullPalette)
{
    const std::string rows = std::string("\x00\x01\x02\x03", 4) + std::string("\x03\x02\x01\x00", 4) + std::string(8, '\x01');
    const std::string cases[] = {   /* plain, and the same rows as runs, the second row a run to its end */
        bmp{.bpp = 8, .offset = 70, .tail = palette(4) + rows},
        rle8(std::string("\x01\x00\x01\x01\x01\x02\x01\x03\x00\x00" "\x00\x04\x03\x02\x01\x00\x00\x00" "\x04\x01\x00\x00" "\x04\x01\x00\x01", 26)),
    };
    temp_dir d;
    char why[256] = "";
    for (const std::string &file : cases) {
        write_file(d / "p.bmp", file);
        std::vector<unsigned char> b;
        ASSERT_TRUE(picture_bytes((d / "p.bmp").c_str(), &b, why, sizeof why)) << why;
        ASSERT_EQ(b.size(), 54u + 1024 + 16);
        EXPECT_EQ(std::string(&b[10], &b[14]), le(54 + 1024, 4)) << "pixels after 256 entries";
        EXPECT_EQ(std::string(&b[30], &b[34]), le(0, 4)) << "uncompressed";
        EXPECT_EQ(std::string(b.begin() + 54, b.begin() + 54 + 1024), palette(4) + std::string(1024 - 16, '\0'));
        EXPECT_EQ(std::string(b.begin() + 54 + 1024, b.end()), rows);
    }
}

/* Catches ImageMagick's RLE8 pictures (runs filling each row's padding) refused or read other than
 * its uncompressed ones. */
TEST(Pictures, ImageMagicksRle8LoadsAsItsUncompressedPicture)
{
    start_library();
    temp_dir d;
    for (const char *size : {"17x3", "6x5"}) {   /* rows padded by 3 and 2 bytes */
        ASSERT_EQ(system(("cd '" + d.path + "' && convert -seed 3 -size " + size + " plasma:fractal -colors 200 "
                          "-compress None BMP3:plain.bmp && convert plain.bmp -compress RLE BMP3:rle.bmp").c_str()), 0);
        ASSERT_EQ(read_file(d / "rle.bmp").substr(30, 1), "\x01") << size << ": not RLE8";
        char why[256] = "";
        BITMAP *rle = load_picture((d / "rle.bmp").c_str(), why, sizeof why);
        ASSERT_TRUE(rle) << size << ": " << why;
        BITMAP *plain = load_picture((d / "plain.bmp").c_str(), why, sizeof why);
        ASSERT_TRUE(plain && rle->w == plain->w && rle->h == plain->h) << why;
        for (int y = 0; y < rle->h; y++)
            for (int x = 0; x < rle->w; x++)
                ASSERT_EQ(getpixel(rle, x, y), getpixel(plain, x, y)) << size << " at " << x << "," << y;
        destroy_bitmap(rle), destroy_bitmap(plain);
    }
}
