/*
 * The chart and the pause sign over the composed driving view: the plain
 * view is the frame it always was; each extra touches only its own area.
 */
#include <limits>

#include "present/chart.h"
#include "present_support.h"

/* The buffer's pixels, to compare frames. */
static std::vector<int> pixels(void)
{
    std::vector<int> v;
    v.reserve(1024 * 768);
    for (int py = 0; py < 768; py++)
        for (int px = 0; px < 1024; px++)
            v.push_back(getpixel(buffer, px, py));
    return v;
}

/* FNV-1a over every pixel of the buffer. */
static uint64_t frame_hash(void)
{
    uint64_t h = 1469598103934665603ull;
    for (int c : pixels())
        for (int i = 0; i < 4; i++) {
            h ^= ((uint32_t)c >> (8 * i)) & 0xff;
            h *= 1099511628211ull;
        }
    return h;
}

/* Two states: at rest after start-up, and mid-slide after 5 s in first. */
static void drive_to(int state)
{
    sim_start();
    if (state == 1) {
        ticks(1, {SIM_KEY_A});
        ticks(300, {SIM_KEY_UP});
        ticks(200, {SIM_KEY_UP, SIM_KEY_RIGHT});
    }
}

/* Hashes of the frames composed before the chart and the pause existed:
 * with neither shown, the view must stay those frames pixel for pixel. */
TEST_F(Frame, PlainViewIsTheFrameItAlwaysWas)
{
    const uint64_t want[2] = {14659321426405282962ull, 17908893977270392253ull};
    for (int s = 0; s < 2; s++) {
        drive_to(s);
        draw_frame(buffer);
        EXPECT_EQ(frame_hash(), want[s]) << "state " << s;
    }
}

/* Pixels that differ from before, all inside the box; at least a few. */
static void expect_changed_only_inside(const std::vector<int> &before, box in, const char *what)
{
    std::vector<int> after = pixels();
    int inside = 0, outside = 0;
    for (int py = 0; py < 768; py++)
        for (int px = 0; px < 1024; px++)
            if (after[py * 1024 + px] != before[py * 1024 + px])
                (px >= in.x0 && px < in.x1 && py >= in.y0 && py < in.y1 ? inside : outside)++;
    EXPECT_EQ(outside, 0) << what;
    EXPECT_GT(inside, 1000) << what;
}

/* Over a frame with the car in the panel's rows: the chart changes only
 * the panel, the sign only its box, and neither the state; off again,
 * the frame is the plain one.  An empty ring and wild values (a value far
 * off the scale, not a number) stay inside the panel too. */
TEST_F(Frame, ChartAndPauseSignTouchOnlyTheirAreas)
{
    struct { const char *name; std::function<void()> fill; } rings[] = {
        {"empty", [] {}},
        {"a slide", [] {
             ticks(1, {SIM_KEY_A});
             for (int i = 0; i < 1500; i++) {
                 ticks(1, i < 600 ? std::vector<int>{SIM_KEY_UP}
                                  : std::vector<int>{SIM_KEY_UP, SIM_KEY_RIGHT});
                 chart_record();
             }
         }},
        {"wild values", [] {
             chart_record();
             TrueVelocity = 1e30f;
             EngineRev = -1e30f;
             chart_record();
             Velocity = std::numeric_limits<float>::quiet_NaN();
             chart_record();
             sim_start();
         }},
    };
    for (auto &r : rings) {
        sim_start();
        chart_clear();
        r.fill();
        y = 700;  /* the car under the panel */
        chart_shown = paused_shown = false;
        draw_frame(buffer);
        std::vector<int> plain = pixels();
        uint64_t state = state_hash();

        chart_shown = true;
        draw_frame(buffer);
        expect_changed_only_inside(plain, {0, CHART_PANEL_TOP, 1024, 768}, r.name);
        chart_shown = false;
        paused_shown = true;
        draw_frame(buffer);
        expect_changed_only_inside(plain, {PAUSED_X, PAUSED_Y, PAUSED_X + PAUSED_W, PAUSED_Y + PAUSED_H},
                                   r.name);
        paused_shown = false;
        draw_frame(buffer);
        EXPECT_TRUE(pixels() == plain) << r.name;
        EXPECT_EQ(state_hash(), state) << r.name;
    }
}
