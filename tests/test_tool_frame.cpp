/*
 * caravelt-sim --frame against the game's own composition: the same
 * script driven in-process, pictures loaded as start-up loads them, and
 * draw_frame into a memory bitmap, compared pixel for pixel.
 */
#include <allegro.h>

#include <cerrno>
#include <cstdlib>

#include "present/present.h"
#include "tool_support.h"

/* Headless library, 16 bits, and the two pictures as start-up loads them. */
static void load_game_pictures(void)
{
    static bool done;
    if (done)
        return;
    ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    set_color_depth(16);
    kvtcar = load_bitmap(CARAVELT_DATA_DIR "/car/kvtcar.bmp", NULL);
    Track = load_bitmap(CARAVELT_DATA_DIR "/tarmac.bmp", NULL);
    ASSERT_NE(kvtcar, nullptr);
    ASSERT_NE(Track, nullptr);
    ASSERT_EQ(bitmap_color_depth(Track), 16);
    done = true;
}

/* Pixels that differ between two 16-bit bitmaps of the same size. */
static long differing_pixels(BITMAP *a, BITMAP *b)
{
    long n = 0;
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w; x++)
            n += getpixel(a, x, y) != getpixel(b, x, y);
    return n;
}

static BITMAP *game_frame(const std::vector<step> &steps)
{
    drive_in_process(steps, [](int) {});
    BITMAP *b = create_bitmap(1024, 768);
    clear_to_color(b, makecol(255, 0, 255));
    draw_frame(b);
    return b;
}

TEST(ToolFrame, FrameIsThePictureTheGameComposes)
{
    load_game_pictures();
    temp_dir d;
    /* Through the gears and sliding: the car turned, off the centre, and
     * every dashboard and telemetry line away from its start text. */
    std::vector<step> steps = drive_steps();
    write_file(d / "drive.txt", script_text(steps));
    tool_run r = run_tool(d, {"--trace", "/dev/null", "--frame", "view.bmp",
                              "--data", CARAVELT_DATA_DIR, "drive.txt"});
    ASSERT_EQ(r.status, 0) << r.err;

    BITMAP *tool = load_bitmap((d / "view.bmp").c_str(), NULL);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->w, 1024);
    EXPECT_EQ(tool->h, 768);
    ASSERT_EQ(bitmap_color_depth(tool), 16);

    BITMAP *game = game_frame(steps);
    EXPECT_EQ(differing_pixels(tool, game), 0);

    /* The comparison can see a difference: the start state's frame is
     * another picture. */
    BITMAP *start = game_frame({});
    EXPECT_GT(differing_pixels(tool, start), 1000);

    destroy_bitmap(start);
    destroy_bitmap(game);
    destroy_bitmap(tool);
}
