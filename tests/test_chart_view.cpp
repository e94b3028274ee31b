/* The chart, the pause sign and the replay's mark over the composed driving view. */
#include "present/chart.h"
#include "present_support.h"

/* The buffer's pixels, to compare frames. */
static std::vector<int> pixels(void)
{
    std::vector<int> v;
    for (int py = 0; py < 768; py++)
        v.insert(v.end(), (uint16_t *)buffer->line[py], (uint16_t *)buffer->line[py] + 1024);
    return v;
}

/* Catches any change to the plain view: frames hashed before the chart and pause existed,
 * at rest and mid-slide after 5 s in first. */
TEST_F(Frame, PlainViewIsTheFrameItAlwaysWas)
{
    const uint64_t want[2] = {14659321426405282962ull, 17908893977270392253ull};
    for (int s = 0; s < 2; s++) {
        sim_start();
        if (s == 1)
            ticks(1, {A}), ticks(300, {UP}), ticks(200, {UP, RIGHT});
        draw_frame(buffer);
        uint64_t h = 1469598103934665603ull;   /* FNV-1a over the pixels' bytes */
        for (int c : pixels())
            for (int i = 0; i < 4; i++)
                h = (h ^ (((uint32_t)c >> (8 * i)) & 0xff)) * 1099511628211ull;
        EXPECT_EQ(h, want[s]) << "state " << s;
    }
}

/* Catches a chart, sign or replay mark (share past the end) drawn outside its area, left when off, or
 * writing state; with the car under the panel, an empty ring, a slide, values off the scale or NaN. */
TEST_F(Frame, ChartSignAndReplayMarkTouchOnlyTheirAreas)
{
    struct { const char *name; std::function<void()> fill; } rings[] = {
        {"empty", [] {}},
        {"a slide", [] {
             ticks(1, {A});
             for (int i = 0; i < 1500; i++)
                 ticks(1, i < 600 ? std::vector<int>{UP} : std::vector<int>{UP, RIGHT}), chart_record();
         }},
        {"wild values", [] {
             chart_record();
             TrueVelocity = 1e30f, EngineRev = -1e30f;
             chart_record();
             Velocity = NAN;
             chart_record();
             sim_start();
         }},
    };
    const struct { std::function<void(bool)> show; box area; } extras[] = {
        {[](bool on) { chart_shown = on; }, {0, CHART_PANEL_TOP, 1024, 768}},
        {[](bool on) { paused_shown = on; }, {PAUSED_X, PAUSED_Y, PAUSED_X + PAUSED_W, PAUSED_Y + PAUSED_H}},
        {[](bool on) { strcpy(replay_progress, on ? "59:59.99 of 1:00:00.00  1/4x" : ""), replay_share = 2; },
         {REPLAY_X, REPLAY_Y, PAUSED_X, REPLAY_Y + REPLAY_H + REPLAY_BAR_H}},
    };
    for (auto &r : rings) {
        sim_start(), chart_clear(), r.fill();
        y = 700;   /* the car under the panel */
        Acceleration = 1;   /* the grip latch would flip if drawing worked it out */
        chart_shown = paused_shown = false;
        const state_copy state;
        draw_frame(buffer);
        const std::vector<int> plain = pixels();
        for (auto &e : extras) {
            e.show(true), draw_frame(buffer), e.show(false);
            std::vector<int> now = pixels();
            int inside = 0, outside = 0;
            for (int i = 0; i < 1024 * 768; i++)
                if (now[i] != plain[i])
                    (e.area.has(i % 1024, i / 1024) ? inside : outside)++;
            EXPECT_EQ(outside, 0) << r.name;
            EXPECT_GT(inside, 1000) << r.name;
        }
        draw_frame(buffer);
        EXPECT_TRUE(pixels() == plain) << r.name;
        EXPECT_EQ(state.changed(), "") << r.name;
    }
}
