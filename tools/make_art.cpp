/*
 * tools/make_art.cpp -- writes the game's two pictures as 24-bit BMPs.
 *
 *   make_art DATA_DIR      writes DATA_DIR/tarmac.bmp and DATA_DIR/car/kvtcar.bmp
 *
 * The art is made from code so that it can be reviewed and regenerated:
 *  - tarmac: 1024x768 light grey asphalt, speckled.  Kept light so black
 *    text over it keeps at least 4.5:1 contrast (relative luminance of
 *    every pixel 0.175 or more; the darkest grey used, 128, gives 0.216).
 *  - car: seen from above facing up, about 2.1 m by 4.5 m at 10 px per
 *    metre, turning about its centre, sprite pixel (13, 25).  Everything
 *    outside the car is magenta (255, 0, 255), the library's mask colour.
 * Deterministic: the same bytes every run.
 */
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct rgb { uint8_t r, g, b; };

struct picture {
    int w, h;
    std::vector<rgb> px;
    picture(int w_, int h_, rgb fill) : w(w_), h(h_), px((size_t)w_ * h_, fill) {}
    rgb &at(int x, int y) { return px[(size_t)y * w + x]; }
};

/* Bottom-up rows, each padded to 4 bytes, BGR order. */
static bool write_bmp(const std::string &path, picture &p)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) {
        perror(path.c_str());
        return false;
    }
    int row = (p.w * 3 + 3) & ~3;
    uint32_t data = (uint32_t)row * p.h, off = 14 + 40;
    auto u16 = [&](uint32_t v) { fputc(v & 255, f); fputc((v >> 8) & 255, f); };
    auto u32 = [&](uint32_t v) { u16(v & 0xffff); u16(v >> 16); };

    fputc('B', f); fputc('M', f);
    u32(off + data); u32(0); u32(off);
    u32(40); u32((uint32_t)p.w); u32((uint32_t)p.h); u16(1); u16(24);
    u32(0); u32(data); u32(2835); u32(2835); u32(0); u32(0);
    for (int y = p.h - 1; y >= 0; y--) {
        int n = 0;
        for (int x = 0; x < p.w; x++, n += 3) {
            rgb c = p.at(x, y);
            fputc(c.b, f); fputc(c.g, f); fputc(c.r, f);
        }
        for (; n < row; n++)
            fputc(0, f);
    }
    bool ok = fflush(f) == 0 && !ferror(f);
    ok = (fclose(f) == 0) && ok;
    if (!ok)
        fprintf(stderr, "make_art: cannot write %s\n", path.c_str());
    return ok;
}

/* Small integer hash: repeatable noise without a generator's state. */
static uint32_t hash(uint32_t x, uint32_t y, uint32_t salt)
{
    uint32_t h = x * 374761393u + y * 668265263u + salt * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

static picture make_tarmac(void)
{
    picture p(1024, 768, {0, 0, 0});
    for (int y = 0; y < 768; y++)
        for (int x = 0; x < 1024; x++) {
            /* coarse blotches, 8 px cells, plus fine grain */
            int blotch = (int)(hash(x / 8, y / 8, 1) % 13) - 6;
            int grain = (int)(hash(x, y, 2) % 21) - 10;
            int v = 160 + blotch + grain;
            if (hash(x, y, 3) % 97 == 0)        /* light aggregate specks */
                v += 22;
            if (hash(x, y, 4) % 131 == 0)       /* dark specks, still light enough */
                v -= 18;
            if (v < 128) v = 128;
            if (v > 205) v = 205;
            uint8_t g = (uint8_t)v;
            p.at(x, y) = {g, g, (uint8_t)(v > 131 ? v - 3 : v)};
        }
    return p;
}

static void fill(picture &p, int x0, int y0, int x1, int y1, rgb c)
{
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            p.at(x, y) = c;
}

static picture make_car(void)
{
    const rgb magenta = {255, 0, 255};
    const rgb tyre = {20, 20, 20};
    const rgb body = {200, 24, 30};
    const rgb edge = {120, 10, 16};
    const rgb glass = {40, 60, 80};
    const rgb roof = {225, 60, 60};
    const rgb head = {255, 240, 120};
    const rgb tail = {255, 90, 0};

    picture p(27, 51, magenta);

    /* tyres stick out a pixel on each side: front and rear axles */
    fill(p, 2, 9, 24, 15, tyre);
    fill(p, 2, 36, 24, 42, tyre);

    /* body x 3..23, y 3..47: 21 by 45 px around (13, 25) */
    fill(p, 3, 3, 23, 47, edge);
    fill(p, 4, 4, 22, 46, body);
    for (int c : {3, 23})                  /* rounded corners */
        for (int r : {3, 47})
            p.at(c, r) = magenta;

    fill(p, 5, 4, 8, 5, head);             /* headlights at the front (top) */
    fill(p, 18, 4, 21, 5, head);
    fill(p, 5, 45, 8, 46, tail);           /* tail lights */
    fill(p, 18, 45, 21, 46, tail);

    fill(p, 6, 14, 20, 19, glass);         /* windscreen */
    fill(p, 6, 20, 20, 33, roof);          /* roof */
    fill(p, 6, 34, 20, 37, glass);         /* rear window */
    return p;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_art DATA_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    picture tarmac = make_tarmac();
    picture car = make_car();
    if (!write_bmp(dir + "/tarmac.bmp", tarmac) || !write_bmp(dir + "/car/kvtcar.bmp", car))
        return 1;
    return 0;
}
