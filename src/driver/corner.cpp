/*
 * driver/corner.cpp -- the closed-loop cornering tests: their courses,
 * made here, and the highest speed the driver takes through each (see
 * driver.h).
 */
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "driver/driver.h"
#include "sim/sim.h"

/* A number to the hundredth as a course file writes it, and what reading
 * that text gives (the exponent moved: px for metres), so that the
 * courses made here are the shipped files' to the bit. */
static float as_written(double v, int exponent)
{
    char text[64];
    snprintf(text, sizeof text, "%.2fe%d", v, exponent);
    return strtof(text, nullptr);
}

static course_point px(double x_m, double y_m)
{
    return {as_written(x_m, 1), as_written(y_m, 1)};
}

/* The circle's centre, m: the middle of the screen. */
static const double CIRCLE_X = 51.2, CIRCLE_Y = 38.4;
/* Half the lane's width, m; cones this far apart along each edge, m;
 * gates round it. */
static const double CIRCLE_HALF_LANE = 3, CIRCLE_CONE_GAP = 2.5;
static const int CIRCLE_GATES = 16;

/* The point at radius r, `a` radians clockwise round from the circle's
 * leftmost point (where a car heading up drives round it clockwise). */
static course_point on_circle(double r, double a)
{
    return px(CIRCLE_X - r * std::cos(a), CIRCLE_Y - r * std::sin(a));
}

void corner_circle_course(course *out)
{
    course c;
    c.name = "Circle of 30 m";
    c.start = on_circle(CORNER_RADIUS_M, 0);
    c.heading = 0;
    c.laps = 1;
    c.penalty = 2;
    const double R = CORNER_RADIUS_M, in = R - CIRCLE_HALF_LANE, outer = R + CIRCLE_HALF_LANE;
    /* The start gate 2 m on from the car's start, so its first tick begins the lap. */
    double a0 = 2 / R;
    for (int g = 0; g < CIRCLE_GATES; g++) {
        double a = a0 + 2 * M_PI * g / CIRCLE_GATES;
        c.gates.push_back({on_circle(in, a), on_circle(outer, a)});
    }
    for (double r : {in, outer}) {
        int n = (int)std::floor(2 * M_PI * r / CIRCLE_CONE_GAP);
        for (int k = 0; k < n; k++)
            c.cones.push_back(on_circle(r, 2 * M_PI * k / n));
    }
    course_index(&c);
    *out = std::move(c);
}

/* The double lane change.  Its line runs along the screen's diagonal,
 * which the torus closes after 128 m, so that its 110 m and a run-up fit
 * with 61 m to the line's next pass on either side.  The car's width
 * against the cones (its footprint's 2.2 m and 0.25 m each side); the
 * three lanes' starts and lengths along the line from the entry, and
 * their widths, m; the offset lane's right edge this far left of the
 * entry lane's, m; cones about this far apart along each edge, m. */
static const double LC_CAR_W = 2.2 + 2 * 0.25;
static const double LC_AT[3] = {0, 45, 95}, LC_LEN[3] = {15, 25, 15};
static const double LC_WIDTH[3] = {1.1 * LC_CAR_W + 0.25, 1.2 * LC_CAR_W + 0.25, 1.3 * LC_CAR_W + 0.25};
static const double LC_OFFSET = 3.5, LC_CONE_GAP = 2.5;
/* The entry's middle, m, and the run-up before it, m. */
static const double LC_ENTRY_X = 20, LC_ENTRY_Y = 60, LC_RUN_UP = 9;

/* The point `along` m down the line from the entry's middle and `right`
 * m to the right of it, wrapped onto the screen. */
static course_point on_line(double along, double right)
{
    const double W = COURSE_SCREEN_W / (double)COURSE_PX_PER_M, H = COURSE_SCREEN_H / (double)COURSE_PX_PER_M;
    double len = std::hypot(W, H), ux = W / len, uy = -H / len;   /* up and to the right */
    double x = LC_ENTRY_X + along * ux - right * uy, y = LC_ENTRY_Y + along * uy + right * ux;
    return px(x - W * std::floor(x / W), y - H * std::floor(y / H));
}

void corner_lane_change_course(course *out)
{
    course c;
    c.name = "Double lane change";
    c.start = on_line(-LC_RUN_UP, 0);
    c.heading = as_written(std::atan2(COURSE_SCREEN_W, COURSE_SCREEN_H) * 180 / M_PI, 0);
    c.laps = 1;
    c.penalty = 2;
    /* Right edges: the entry's, the offset lane's LC_OFFSET left of it,
     * the exit's in line with the entry's. */
    double right_edge[3] = {LC_WIDTH[0] / 2, LC_WIDTH[0] / 2 - LC_OFFSET, LC_WIDTH[0] / 2};
    for (int l = 0; l < 3; l++) {
        double right = right_edge[l], left = right - LC_WIDTH[l];
        double s0 = LC_AT[l], s1 = s0 + LC_LEN[l];
        c.gates.push_back({on_line(s0, left), on_line(s0, right)});
        c.gates.push_back({on_line(s1, left), on_line(s1, right)});
        int n = (int)std::lround(LC_LEN[l] / LC_CONE_GAP);
        for (int k = 0; k <= n; k++) {
            double s = s0 + LC_LEN[l] * k / n;
            c.cones.push_back(on_line(s, left));
            c.cones.push_back(on_line(s, right));
        }
    }
    course_index(&c);
    *out = std::move(c);
}

/* Whether the driver finds a clean pass of track from state s at the
 * start, heading up, with these pedals. */
static bool passes(const car_state &s, const course *track, int gates)
{
    driver_task t;
    t.track = track;
    t.start = s;
    t.start.x = track->start.x;
    t.start.y = track->start.y;
    t.start.AxisAngle = t.start.TrueAngle = track->heading;
    t.pedals = DRIVER_HOLD;
    t.hold = s.TrueVelocity;
    t.laps = 1;
    t.gates = gates;
    driver_how how;
    how.budget.drives = CORNER_DRIVES;
    how.first_clean = true;
    driver_result r;
    driver_search(&t, &how, &r);
    return r.clean;
}

int corner_speed(const corner_run *run, const course *track, bool through)
{
    int gates = through ? (int)track->gates.size() : 0;
    /* The highest first: most cars pass there, and then that one try is all. */
    long lo = -1, hi = (long)run->at.size();
    if (hi == 0 || passes(run->at[hi - 1], track, gates))
        return (int)hi;
    hi--;
    /* at[lo] passes (or lo is -1), at[hi] does not. */
    while (hi - lo > 1) {
        long mid = lo + (hi - lo) / 2;
        if (passes(run->at[mid], track, gates))
            lo = mid;
        else
            hi = mid;
    }
    return (int)(lo + 1);
}
