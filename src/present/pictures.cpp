/*
 * present/pictures.cpp -- loading the game's pictures, and the library
 * started with no display for composing frames in memory.
 *
 * A picture file is read whole and its BMP header checked against its
 * size before the library sees a byte of it: the library's loader trusts
 * the header (a huge width is allocated, a short file is read past its
 * end, an RLE stream writes wherever it points, palette entries the file
 * lacks are read uninitialised).  Only what the loader reads correctly is
 * let through, and an 8-bit picture reaches it in one plain form: a full
 * palette, rows uncompressed (RLE8 is decoded here, within bounds).  The
 * library then reads the checked bytes from memory, so the file cannot
 * change between check and load.
 */
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#include "present.h"

/* Sides from 1 to this many pixels; the screen is 1024x768. */
static const int64_t SIDE_MAX = 4096;

/* File header 14 bytes; the Windows info header 40, the OS/2 one 12. */
static const uint32_t FILE_HEADER = 14, WIN_HEADER = 40, OS2_HEADER = 12;

/* Compressions the loader knows; bit-field masks follow a Windows header. */
static const uint32_t BMP_RGB = 0, BMP_RLE8 = 1, BMP_BITFIELDS = 3;
static const uint32_t BITFIELDS_DATA = FILE_HEADER + WIN_HEADER + 12;

/* Largest file any accepted picture needs: 4096x4096 at 32 bits, or an
 * RLE8 stream of one-pixel runs (2 bytes a pixel), plus headers. */
static const uint64_t FILE_MAX = (uint64_t)SIDE_MAX * SIDE_MAX * 4 + 4096;

static uint32_t le16(const unsigned char *p) { return p[0] | p[1] << 8; }
static uint32_t le32(const unsigned char *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

/* Writes the fault into why; always false, for `return refuse(...)`. */
static bool refuse(char *why, size_t size, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(why, size, fmt, ap);
    va_end(ap);
    return false;
}

/* Bytes of one row of 8-bit pixels as stored: w, padded to 4. */
static int64_t stride_of(int64_t w) { return (w + 3) / 4 * 4; }

/* ----------------------------------------------------------------------
 * rle8_decode: an RLE8 stream of len bytes at p into rows (h rows of
 * stride_of(w) bytes, bottom row first, zero where nothing is drawn),
 * accepted only if it ends -- an end-of-picture mark, or an end-of-row
 * past the top row -- inside its len bytes, uses palette entries only and
 * draws within the rows.  A run may fill a row's padding (ImageMagick
 * writes runs up to the padded width); those pixels are not shown.
 * ---------------------------------------------------------------------- */
static bool rle8_decode(const unsigned char *p, size_t len, int64_t w, int64_t h, uint32_t colours,
                        unsigned char *rows, char *why, size_t size)
{
    static const char ENDS[] = "RLE8 data ends before its end-of-picture mark";
    static const char PAST[] = "RLE8 run past the end of a row and its padding to 4 bytes";
    const int64_t stride = stride_of(w);
    size_t i = 0;
    int64_t x = 0, r = 0;               /* column, and row from the bottom */
    for (;;) {
        if (len - i < 2)
            return refuse(why, size, ENDS);
        uint32_t a = p[i], b = p[i + 1];
        i += 2;
        if (a > 0) {                    /* a pixels of colour b */
            if (x + a > stride)
                return refuse(why, size, PAST);
            if (b >= colours)
                return refuse(why, size, "colour %u beyond the palette's %u entries", b, colours);
            memset(rows + r * stride + x, (int)b, a);
            x += a;
        } else if (b == 0) {            /* end of row */
            x = 0;
            if (++r >= h)
                return true;
        } else if (b == 1) {            /* end of picture */
            return true;
        } else if (b == 2) {            /* move right and up */
            if (len - i < 2)
                return refuse(why, size, ENDS);
            x += p[i];
            r += p[i + 1];
            i += 2;
            if (x > w || r >= h)
                return refuse(why, size, "RLE8 move outside the picture");
        } else {                        /* b literal pixels, padded to even */
            if (len - i < b + (b & 1))
                return refuse(why, size, ENDS);
            if (x + b > stride)
                return refuse(why, size, PAST);
            for (uint32_t k = 0; k < b; k++)
                if (p[i + k] >= colours)
                    return refuse(why, size, "colour %u beyond the palette's %u entries",
                                  p[i + k], colours);
            memcpy(rows + r * stride + x, p + i, b);
            x += b;
            i += b + (b & 1);
        }
    }
}

/* ----------------------------------------------------------------------
 * eight_bit_bmp: an 8-bit picture as the library gets it: a Windows
 * header, all 256 palette entries (the file's, 3 or 4 bytes each, then
 * black: the loader reads entries the file may lack), uncompressed rows.
 * ---------------------------------------------------------------------- */
static void eight_bit_bmp(const unsigned char *palette, uint32_t colours, uint32_t entry_bytes,
                          int64_t w, int64_t h, const unsigned char *rows,
                          std::vector<unsigned char> *out)
{
    const uint32_t offset = FILE_HEADER + WIN_HEADER + 256 * 4;
    const uint64_t data = (uint64_t)stride_of(w) * h;
    out->assign(offset + data, 0);
    unsigned char *o = out->data();
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int k = 0; k < bytes; k++)
            o[at + k] = (unsigned char)(v >> 8 * k);
    };
    o[0] = 'B', o[1] = 'M';
    put(2, (uint32_t)out->size(), 4);
    put(10, offset, 4);
    put(14, WIN_HEADER, 4);
    put(18, (uint32_t)w, 4);
    put(22, (uint32_t)h, 4);
    put(26, 1, 2);                      /* planes */
    put(28, 8, 2);                      /* bits per pixel */
    put(34, (uint32_t)data, 4);         /* uncompressed: 30 stays 0 */
    put(46, 256, 4);                    /* colours used */
    for (uint32_t c = 0; c < colours; c++)
        memcpy(o + FILE_HEADER + WIN_HEADER + 4 * c, palette + entry_bytes * c, 3);
    memcpy(o + offset, rows, data);
}

/* ----------------------------------------------------------------------
 * bmp_ok: true if the n bytes at b are a BMP the library's loader reads
 * correctly and within bounds; else false with the fault in why.  An
 * 8-bit picture is rewritten into *eight (eight_bit_bmp), which the
 * library reads instead.
 *   - a Windows (40-byte) or OS/2 (12-byte) info header;
 *   - 8, 16, 24 or 32 bits per pixel, uncompressed; RLE8 at 8 bits;
 *     bit fields at 16 bits (5-6-5 or 5-5-5) or 32 (8-8-8);
 *   - sides 1 to 4096, rows bottom-up;
 *   - the palette (at most 256 entries) between header and pixel data,
 *     where the loader takes it from; 8-bit pixels index inside it;
 *   - all pixel data inside the file; RLE8 data inside its declared size.
 * ---------------------------------------------------------------------- */
static bool bmp_ok(const unsigned char *b, size_t n, std::vector<unsigned char> *eight, char *why,
                   size_t size)
{
    if (n < 2 || b[0] != 'B' || b[1] != 'M')
        return refuse(why, size, "not a BMP picture (no \"BM\" at the start)");
    if (n < FILE_HEADER + 4)
        return refuse(why, size, "truncated BMP header (%zu bytes)", n);
    uint32_t hs = le32(b + FILE_HEADER);
    if (hs != WIN_HEADER && hs != OS2_HEADER)
        return refuse(why, size, "unsupported BMP header of %u bytes (40 or 12 are read)", hs);
    if (n < FILE_HEADER + hs)
        return refuse(why, size, "truncated BMP header (%zu bytes)", n);

    const unsigned char *h = b + FILE_HEADER;
    bool os2 = hs == OS2_HEADER;
    int64_t width = os2 ? (int64_t)le16(h + 4) : (int64_t)(int32_t)le32(h + 4);
    int64_t height = os2 ? (int64_t)le16(h + 6) : (int64_t)(int32_t)le32(h + 8);
    uint32_t bpp = os2 ? le16(h + 10) : le16(h + 14);
    uint32_t comp = os2 ? BMP_RGB : le32(h + 16);
    uint32_t data_size = os2 ? 0 : le32(h + 20);
    uint32_t offset = le32(b + 10);
    /* Negative heights (rows top-down) are refused by the loader itself. */
    if (width < 1 || width > SIDE_MAX || height < 1 || height > SIDE_MAX)
        return refuse(why, size, "size %lldx%lld outside 1x1 to %lldx%lld", (long long)width,
                      (long long)height, (long long)SIDE_MAX, (long long)SIDE_MAX);
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return refuse(why, size, "unsupported depth of %u bits per pixel (8, 16, 24 or 32)", bpp);
    if (comp != BMP_RGB && comp != BMP_RLE8 && comp != BMP_BITFIELDS)
        return refuse(why, size, "unsupported compression %u", comp);
    if (comp == BMP_RLE8 && bpp != 8)
        return refuse(why, size, "RLE8 compression at %u bits per pixel", bpp);

    uint32_t colours = 0;
    if (comp == BMP_BITFIELDS) {
        /* The loader reads the masks and the pixels right after them. */
        if (n < BITFIELDS_DATA || offset != BITFIELDS_DATA)
            return refuse(why, size, "bit-field pixel data at offset %u, not right after the masks",
                          offset);
        uint32_t red = le32(b + 54), blue = le32(b + 62);
        bool known = bpp == 16 ? blue == 0x1f && (red == 0x7c00 || red == 0xf800)
                   : bpp == 32 && blue == 0xff && red == 0xff0000;
        if (!known)
            return refuse(why, size, "unsupported bit-field masks at %u bits per pixel", bpp);
    } else {
        /* The loader takes palette entries from the header's end up to the
         * pixel data: 4 bytes each after a Windows header, 3 after OS/2. */
        uint32_t start = FILE_HEADER + hs;
        if (offset < start || offset > n)
            return refuse(why, size, "pixel data offset %u outside %u to %zu", offset, start, n);
        colours = (offset - start) / (os2 ? 3 : 4);
        if (colours > 256)
            return refuse(why, size, "palette of %u entries (at most 256)", colours);
        if (bpp == 8 && colours == 0)
            return refuse(why, size, "8-bit picture without a palette");
    }

    const unsigned char *palette = b + FILE_HEADER + hs;
    if (comp == BMP_RLE8) {
        if (data_size == 0 || (uint64_t)offset + data_size > n)
            return refuse(why, size, "RLE8 data of %u bytes at offset %u outside the file (%zu bytes)",
                          data_size, offset, n);
        std::vector<unsigned char> rows((size_t)(stride_of(width) * height), 0);
        if (!rle8_decode(b + offset, data_size, width, height, colours, rows.data(), why, size))
            return false;
        eight_bit_bmp(palette, colours, os2 ? 3 : 4, width, height, rows.data(), eight);
        return true;
    }

    uint64_t row = ((uint64_t)width * bpp + 31) / 32 * 4;
    if (offset + row * height > n)
        return refuse(why, size, "pixel data runs past the end of the file (%llu bytes at offset %u, "
                      "the file has %zu)", (unsigned long long)(row * height), offset, n);
    if (bpp == 8) {
        for (uint64_t y = 0; y < (uint64_t)height; y++)
            for (const unsigned char *px = b + offset + y * row, *end = px + width; px < end; px++)
                if (*px >= colours)
                    return refuse(why, size, "colour %u beyond the palette's %u entries", *px,
                                  colours);
        eight_bit_bmp(palette, colours, os2 ? 3 : 4, width, height, b + offset, eight);
    }
    return true;
}

/* ----------------------------------------------------------------------
 * The checked bytes, read by the library from memory.
 * ---------------------------------------------------------------------- */
struct mem_in {
    const unsigned char *p;
    size_t size, pos;
};

static int mem_getc(void *ud)
{
    mem_in *m = (mem_in *)ud;
    return m->pos < m->size ? m->p[m->pos++] : EOF;
}

static int mem_ungetc(int c, void *ud)
{
    mem_in *m = (mem_in *)ud;
    if (m->pos == 0)
        return EOF;
    m->pos--;
    return c;
}

static long mem_read(void *out, long n, void *ud)
{
    mem_in *m = (mem_in *)ud;
    size_t k = m->size - m->pos < (size_t)n ? m->size - m->pos : (size_t)n;
    memcpy(out, m->p + m->pos, k);
    m->pos += k;
    return (long)k;
}

/* Forward from where it is, as the library asks. */
static int mem_seek(void *ud, int offset)
{
    mem_in *m = (mem_in *)ud;
    if (offset < 0 || (size_t)offset > m->size - m->pos)
        return -1;
    m->pos += (size_t)offset;
    return 0;
}

static int mem_eof(void *ud) { return ((mem_in *)ud)->pos >= ((mem_in *)ud)->size; }
static int mem_error(void *) { return 0; }
static int mem_close(void *) { return 0; }
static int mem_putc(int, void *) { return EOF; }
static long mem_write(const void *, long, void *) { return 0; }

static const PACKFILE_VTABLE mem_vtable = {
    mem_close, mem_getc, mem_ungetc, mem_read, mem_putc,
    mem_write, mem_seek, mem_eof, mem_error,
};

/* The whole regular file at path into data; false with the reason. */
static bool read_whole(const char *path, std::vector<unsigned char> *data, char *why, size_t size)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return refuse(why, size, "%s", strerror(errno));
    struct stat st;
    bool ok = false;
    if (fstat(fileno(f), &st) != 0)
        refuse(why, size, "%s", strerror(errno));
    else if (!S_ISREG(st.st_mode))
        refuse(why, size, "not a regular file");
    else if ((uint64_t)st.st_size > FILE_MAX)
        refuse(why, size, "%lld bytes, more than any picture up to %lldx%lld needs",
               (long long)st.st_size, (long long)SIDE_MAX, (long long)SIDE_MAX);
    else {
        data->resize((size_t)st.st_size);
        size_t got = fread(data->data(), 1, data->size(), f);
        if (ferror(f))
            refuse(why, size, "cannot read: %s", strerror(errno ? errno : EIO));
        else {
            data->resize(got);   /* shorter if it shrank meanwhile: checked as read */
            ok = true;
        }
    }
    fclose(f);
    return ok;
}

bool picture_bytes(const char *path, std::vector<unsigned char> *out, char *why, size_t size)
{
    std::vector<unsigned char> eight;
    if (!read_whole(path, out, why, size) || !bmp_ok(out->data(), out->size(), &eight, why, size))
        return false;
    if (!eight.empty())
        out->swap(eight);
    return true;
}

BITMAP *load_picture(const char *path, char *why, size_t size)
{
    std::vector<unsigned char> data;
    if (!picture_bytes(path, &data, why, size))
        return NULL;
    mem_in m = {data.data(), data.size(), 0};
    PACKFILE *pf = pack_fopen_vtable(&mem_vtable, &m);
    BITMAP *b = pf ? load_bmp_pf(pf, NULL) : NULL;
    if (pf)
        pack_fclose(pf);
    if (!b)
        snprintf(why, size, "not a BMP picture the library can read");
    return b;
}

BITMAP *open_picture(const char *path, char *err, size_t size)
{
    char why[256];
    BITMAP *b = load_picture(path, why, sizeof why);
    if (!b)
        snprintf(err, size, "cannot load \"%s\": %s", path, why);
    return b;
}

int start_headless(char *err, size_t size)
{
    static int started;
    if (started)
        return 0;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        snprintf(err, size, "cannot start the Allegro library: %s", allegro_error);
        return -1;
    }
    /* With no display mode set, pictures load converted to this depth. */
    set_color_depth(16);
    set_color_conversion(COLORCONV_TOTAL);
    started = 1;
    return 0;
}
