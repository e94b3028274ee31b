/*
 * The driving view composed in memory: dashboard texts and places, the
 * sprite's pivot and angle units, the tarmac as the only erase.
 */
#include <vector>

#include "present_support.h"

static std::string dash(int i)
{
    char s[64];
    dashboard_text(i, s, sizeof s);
    return s;
}

static std::string row(int i)
{
    char s[64];
    telemetry_text(i, s, sizeof s);
    return s;
}

TEST_F(Frame, DashboardShowsGearVelocitySpeedAndRevs)
{
    Gear = -1;
    EXPECT_EQ(dash(0), "Gear:-1");
    Gear = 0;
    EXPECT_EQ(dash(0), "Gear:0");
    Velocity = -2.5f;
    EXPECT_EQ(dash(1), "Velocity:-2.50");
    EXPECT_EQ(dash(2), "Speed:-9.0");
    Velocity = 10;
    EXPECT_EQ(dash(1), "Velocity:10.00");
    EXPECT_EQ(dash(2), "Speed:36.0");
    EngineRev = 3456.0076f;
    EXPECT_EQ(dash(3), "RPM = 3456.008");
}

/* Black pixels of a frame lie only in the dashboard's and telemetry's
 * text boxes, and every box has some. */
TEST_F(Frame, TextStandsInItsPlacesOverTheTarmac)
{
    x = 700;  /* the car well away from the text */
    y = 600;
    Gear = 3;
    Velocity = 12.5f;
    draw_frame(buffer);

    std::vector<box> boxes;
    for (int i = 0; i < DASHBOARD_LINES; i++) {
        int col, r;
        dashboard_place(i, &col, &r);
        boxes.push_back(text_box(col, r, dash(i)));
    }
    EXPECT_EQ(boxes[0].x0, boxes[1].x0 + 40);  /* the gear line stands out */
    for (int i = 0; i < TELEMETRY_ROWS; i++)
        boxes.push_back(text_box(100, 100 + 10 * i, row(i)));
    EXPECT_EQ(boxes.back().y0, 370);

    std::vector<int> hits(boxes.size());
    for (int py = 0; py < 768; py++)
        for (int px = 0; px < 1024; px++) {
            if (!is_black(buffer, px, py))
                continue;
            bool found = false;
            for (size_t b = 0; b < boxes.size(); b++)
                if (inside(boxes[b], px, py)) {
                    hits[b]++;
                    found = true;
                }
            ASSERT_TRUE(found) << "stray black pixel at " << px << "," << py;
        }
    for (size_t b = 0; b < boxes.size(); b++)
        EXPECT_GT(hits[b], 10) << "text box " << b << " is empty";
}

/* A sprite that is mask colour but for its pivot pixel and a nose pixel
 * 25 px ahead of it. */
static BITMAP *marker_sprite(void)
{
    BITMAP *s = create_bitmap(27, 51);
    clear_to_color(s, bitmap_mask_color(s));
    putpixel(s, 13, 25, makecol(255, 0, 0));
    putpixel(s, 13, 0, makecol(0, 255, 0));
    return s;
}

static bool red_at(int px, int py)
{
    int c = getpixel(buffer, px, py);
    return getr(c) > 200 && getg(c) < 50 && getb(c) < 50;
}

static bool green_near(int px, int py)
{
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) {
            int c = getpixel(buffer, px + dx, py + dy);
            if (getg(c) > 200 && getr(c) < 50)
                return true;
        }
    return false;
}

TEST_F(Frame, SpritePivotLandsOnTheTruncatedPosition)
{
    BITMAP *s = marker_sprite();
    kvtcar = s;

    struct { float x, y; int px, py; } cases[] = {
        {511.9f, 383.2f, 511, 383}, {-0.4f, 200, 0, 200}, {99.9f, 99.9f, 99, 99},
    };
    for (auto c : cases) {
        x = c.x;
        y = c.y;
        draw_frame(buffer);
        EXPECT_TRUE(red_at(c.px, c.py)) << "pivot for " << c.x << "," << c.y;
    }
    destroy_bitmap(s);
}

TEST_F(Frame, HeadingTurnsTheSpriteClockwiseIn256thsOfATurn)
{
    BITMAP *s = marker_sprite();
    kvtcar = s;
    x = 512;
    y = 384;

    AxisAngle = 0;
    draw_frame(buffer);
    EXPECT_TRUE(green_near(512, 359));  /* nose up */
    /* the car's surroundings only: the telemetry prints the heading */
    auto around = [] {
        std::vector<int> px;
        for (int py = 324; py < 444; py++)
            for (int qx = 452; qx < 572; qx++)
                px.push_back(getpixel(buffer, qx, py));
        return px;
    };
    std::vector<int> upright = around();

    AxisAngle = 90;
    draw_frame(buffer);
    EXPECT_TRUE(green_near(537, 384));  /* a quarter turn clockwise: right */

    AxisAngle = -90;
    draw_frame(buffer);
    EXPECT_TRUE(green_near(487, 384));  /* anticlockwise: left */

    AxisAngle = 360;  /* a full turn is the same picture as 0 */
    draw_frame(buffer);
    EXPECT_EQ(around(), upright);
    destroy_bitmap(s);
}

TEST_F(Frame, SmallTarmacLeavesTheRestOfTheBufferAsItWas)
{
    BITMAP *small = create_bitmap(200, 100);
    clear_to_color(small, makecol(255, 255, 0));
    Track = small;
    x = 900;
    y = 700;
    clear_to_color(buffer, makecol(0, 0, 255));
    draw_frame(buffer);

    int c = getpixel(buffer, 10, 10);
    EXPECT_TRUE(getr(c) > 200 && getb(c) < 50);  /* tarmac */
    c = getpixel(buffer, 600, 500);
    EXPECT_TRUE(getb(c) > 200 && getr(c) < 50);  /* left from before */
    destroy_bitmap(small);
}

TEST_F(Frame, GamePicturesMakeAVisibleCarAtTheCentre)
{
    draw_frame(buffer);
    /* The car body around its pivot stands out from the grey tarmac. */
    int reddish = 0;
    for (int py = 364; py < 404; py++)
        for (int px = 505; px < 520; px++) {
            int c = getpixel(buffer, px, py);
            reddish += getr(c) > getg(c) + 60;
        }
    EXPECT_GT(reddish, 300);
    /* Its mask colour never shows. */
    for (int py = 350; py < 420; py++)
        for (int px = 490; px < 535; px++) {
            int c = getpixel(buffer, px, py);
            ASSERT_FALSE(getr(c) > 240 && getg(c) < 10 && getb(c) > 240) << px << "," << py;
        }
}
