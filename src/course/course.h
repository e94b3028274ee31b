/*
 * course/course.h -- courses: gates and cones on the tarmac, timed laps
 * with splits, and the best lap's poses for a ghost.
 *
 * A course file (TOML, lengths in metres from the screen's top-left
 * corner, y down, angles in degrees clockwise from up):
 *
 *   name = "Slalom"
 *   start = { x = 8.0, y = 38.4, heading = 90.0 }   # where start-up and R put the car
 *   laps = 3                                          # 0: no limit
 *   penalty = 2.0                                     # seconds per cone knocked
 *   [[gate]]                                          # in driving order; the first is
 *   a = [14.0, 34.4]                                  # start and finish
 *   b = [14.0, 42.4]
 *   [[cone]]
 *   at = [26.0, 36.4]
 *
 * Kept in pixels (10 a metre), each number rounded once from its decimal
 * text to the stored float.  Everything that counts is worked out here, in
 * double from those floats and the car's, once per tick, for every front
 * end alike: the game, caravelt-sim and a fleet of cars in Python.  A
 * course is read once and then only read, so any number of threads may
 * count their own cars on one course, each with its own progress value.
 *
 * What counts, per tick, from the car's centre before and after it, its
 * heading after it and whether R was held in it:
 *   - a gate is passed when the centre's move crosses its segment, each
 *     segment's ends strictly on opposite sides of the other's line
 *     (touching is not crossing); the move is taken the short way across
 *     a screen edge.  Only the next gate in order counts.
 *   - passing the first gate begins a lap; passing it again after all the
 *     others ends that lap and begins the next.  A lap's time is its ticks
 *     / 100 s; its splits, the ticks from its start to each later gate.
 *   - a cone is knocked when, after the tick, the car's footprint (2.2 m by
 *     4.4 m, centred on the car, long side along AxisAngle) comes nearer
 *     than 0.25 m to it, across the screen's wrap too; once per lap, and it
 *     lies fallen until that lap ends.  Only cones knocked in a lap count;
 *     the gates of a tick come first, so a cone knocked in the tick that
 *     ends a lap counts for the next.
 *   - a tick with R held passes no gate and abandons the lap in progress.
 *   - a lap goes by its next gate (missed) when a move that does not pass
 *     it crosses its line within a gate's length beyond a post (beside
 *     it), or passes a gate later in the lap (the start gate once the lap
 *     is past its second); it is said once, and holds
 *     until the gate is passed, R, or the lap ends.  Nothing else changes:
 *     the lap goes on once the car has gone back through the gate.
 *   - with a standing start, no gate counts during the countdown; the
 *     tick that ends it begins a lap, the car on the line; R begins the
 *     countdown again.
 * Nothing here writes the car: the drive is the same with or without one.
 */
#ifndef CARAVELT_COURSE_COURSE_H
#define CARAVELT_COURSE_COURSE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/* The screen the car drives on, in pixels, and its scale. */
inline constexpr int COURSE_SCREEN_W = 1024, COURSE_SCREEN_H = 768, COURSE_PX_PER_M = 10;

/* The timing box the game draws over a course, px: its size, and where it
 * stands unless the course file says (`timing`, its top-left corner). */
inline constexpr int COURSE_TIMING_W = 360, COURSE_TIMING_H = 66, COURSE_TIMING_X = 332, COURSE_TIMING_Y = 42;

/* A standing start's countdown: 3 s of ticks, the car held on the line. */
inline constexpr int COURSE_COUNTDOWN = 300;

/* The poses kept of one lap at most: an hour of it (4.3 MB). */
inline constexpr size_t COURSE_POSES_MAX = 360000;

/* What a course file may hold at most. */
inline constexpr int COURSE_GATES_MAX = 100, COURSE_CONES_MAX = 2000, COURSE_NAME_MAX = 80;

struct course_point { float x, y; };          /* px from the top-left, y down */
struct course_gate { course_point a, b; };    /* a segment, passed either way */

struct course {
    std::string name;
    course_point start;                       /* where start-up and R put the car */
    float heading;                            /* deg, the car's heading there */
    int laps;                                 /* laps that count; 0: no limit */
    float penalty;                            /* s added to a lap per cone knocked */
    std::vector<course_gate> gates;           /* in driving order; [0] starts and finishes */
    std::vector<course_point> cones;          /* their centres */
    std::string text;                         /* the file's text it was read from, if any */
    course_point timing = {COURSE_TIMING_X, COURSE_TIMING_Y};   /* the timing box's top-left corner;
                                                 no drive changes with it, so not hashed */

    /* Made by course_index: for each 32 px cell of the screen, the cones a
     * car centred in it could touch and the gates a move ending in it could
     * pass, so that a tick looks at a handful or none. */
    std::vector<uint32_t> cell_first;         /* cell c's cones: cell_cones[cell_first[c] ..
                                                 cell_first[c + 1]) */
    std::vector<uint16_t> cell_cones;
    std::vector<uint64_t> cell_gates;         /* bit g % 64 of word 2 c + g / 64: gate g */
};

/* ----------------------------------------------------------------------
 * read_course_file: the course in the file at path.  0 with *out filled
 * (indexed, ready to count), or -1 with *out untouched and one line in
 * err, "PATH:LINE: reason" where the fault has a line, else "PATH:
 * reason".  Refused: TOML syntax, unknown keys, wrong types, numbers not
 * finite or beyond a float, a point off the screen, a gate of zero
 * length, no gate, more than COURSE_GATES_MAX gates or COURSE_CONES_MAX
 * cones, a negative penalty or lap count, a heading outside 0 to 360, no
 * start, a timing box that would not fit on the screen, a name with control characters or longer than COURSE_NAME_MAX
 * bytes.  Without `name` the course is named after the file (its last
 * part, less the extension); without `laps`, no limit; without
 * `penalty`, 0.
 * ---------------------------------------------------------------------- */
int read_course_file(const char *path, course *out, char *err, size_t errsize);

/* read_course_file of a course file's text, named path (whose last part
 * names the course when the text does not). */
int read_course_text(const char *path, const std::string &text, course *out, char *err, size_t errsize);

/* Builds c's index of cones and gates; the reader calls it, and so must
 * whoever makes or changes a course in code.  0, or -1 (nothing built, so
 * not to be counted on) when c has no gate, more than COURSE_GATES_MAX
 * gates or more than COURSE_CONES_MAX cones. */
int course_index(course *c);

/* FNV-1a over the course's values (name, start, laps, penalty, gates,
 * cones): names the course a recording was driven on. */
uint64_t course_hash(const course *c);

/* On this thread's car: R puts it at c's start from now on, and it is put
 * there now, stopped, heading included (a fresh car starts so). */
void course_start(const course *c);

/* A standing start: the car's centre on the start gate's middle, the
 * start's heading. */
course_point course_line(const course *c);

/* course_start, but on the line (course_line) and in first gear: where a
 * standing start puts the car, and R then. */
void course_start_standing(const course *c);

/* ----------------------------------------------------------------------
 * Progress: what one car has done on a course.  A value, one per car,
 * changed only by course_count.
 * ---------------------------------------------------------------------- */

/* Where the car stood after a tick: x, y in px, angle its AxisAngle. */
struct course_pose { float x, y, angle; };

/* One lap's numbers: its number, the cones it knocked, the tick that
 * began it (the count of ticks course_count has seen, 1 for the first)
 * and its ticks (0 while in progress).  24 bytes: a progress holds three. */
struct course_lap_head {
    int lap;
    int cones;
    uint64_t start_tick, ticks;
};

/* One lap as a record, with the ticks from its start to each gate after
 * the first (splits[0] for the second gate): what lap rows, a lap given
 * to beat and the driver's results hold.  course_lap_of makes one of a
 * progress's laps. */
struct course_lap : course_lap_head {
    uint64_t splits[COURSE_GATES_MAX - 1];
};

/* A progress's laps, as course_lap_of and course_lap_detail name them. */
enum course_which_lap { COURSE_NOW, COURSE_LAST, COURSE_BEST };

/* What a progress keeps of its laps beyond their heads, when asked: the
 * splits of the lap in progress, the last and the best (by
 * course_which_lap, filled as the gates are passed), and the car's pose
 * after each tick of the lap in progress and of the best lap, its end
 * included (poses[k]: k ticks into the lap; a ghost k ticks into a lap
 * stands at best_poses[k]).  The poses are reused from lap to lap, and
 * kept for a lap's first COURSE_POSES_MAX ticks only, so that memory
 * stays bounded however long a lap takes. */
struct course_lap_detail {
    uint64_t splits[3][COURSE_GATES_MAX - 1];
    std::vector<course_pose> poses, best_poses;
};

/* What a progress keeps beyond its laps' heads. */
enum course_keep : uint8_t {
    COURSE_KEEP_NONE,     /* nothing: a fleet's cars, which write no lap row and draw no ghost */
    COURSE_KEEP_SPLITS,   /* the splits, for lap rows and the split of a gate against the lap to beat */
    COURSE_KEEP_POSES,    /* the splits and the poses, for a ghost (some 12 bytes a tick of the
                             lap in progress and of the best) */
};

/* Moved, not copied: what it keeps (splits and poses) is its own.  The
 * members in an order that leaves no padding: a fleet holds one a car.
 * Made, it is a progress of no course (every count 0) that may be moved
 * or swapped; course_progress_start makes it one of a course. */
struct course_progress {
    /* A standing start: every lap run begins on the line, COURSE_COUNTDOWN
     * ticks after the start or the last tick with R held, the car held
     * meanwhile; set before course_progress_start, which keeps it. */
    bool standing = false;
    bool in_lap = false;       /* a lap is being timed */
    bool has_best = false;     /* best (and last) hold a lap */
    course_keep keep = COURSE_KEEP_NONE;   /* what `kept` holds: set by course_progress_start */
    int countdown = 0;         /* ticks of the countdown left; 0 once it is over */
    uint64_t tick = 0;         /* ticks counted */
    int next_gate = 0;         /* the gate that counts next (0 outside a lap) */
    int laps_done = 0;         /* laps completed */
    int missed = 0;            /* the next gate's number (1 the start gate) once the lap in progress
                                  has gone by it (course_count); 0 when it has not */
    uint32_t angle_bits = 0;   /* the last heading a cone was checked at, and its sine and cosine */
    course_lap_head now = {};  /* the lap in progress, while in_lap */
    course_lap_head last = {}, best = {};   /* the last completed lap; the one with the least total */
    std::vector<uint8_t> knocked;   /* per cone, 1 while it lies fallen */
    std::unique_ptr<course_lap_detail> kept;   /* null when keep is COURSE_KEEP_NONE */
    double angle_sin = 0, angle_cos = 1;   /* of heading 0, as angle_bits says */
};

/* p fresh for course c: no tick counted, no lap, every cone standing, and
 * with a standing start the countdown begun; keeping what `keep` says
 * (its detail made here, or reused when p had one). */
void course_progress_start(course_progress *p, const course *c, course_keep keep = COURSE_KEEP_POSES);

/* Lap w of p as a record: its head, and its splits when p keeps them (0
 * when it does not).  Of the last lap after COURSE_LAP_DONE, the best
 * for a lap to beat. */
course_lap course_lap_of(const course_progress *p, course_which_lap w);

/* A progress from outside (a pickle) for course c: each count within
 * c's gates, cones and laps, nothing kept beyond the laps' heads.  0, or
 * -1 with why in err. */
int course_progress_check(const course_progress *p, const course *c, char *err, size_t errsize);

/* After the course's last lap: its laps begin again, as at the start (lap
 * 1 next, once the start gate is passed; every cone standing), with the
 * ticks counted and the best lap and its poses kept.  Nothing else
 * counts after the last lap; the game and caravelt-sim call this on a
 * tick with R held then (course_race). */
void course_progress_again(course_progress *p, const course *c);

/* Whether p has done c's last lap (never, when c has no limit). */
inline bool course_finished(const course *c, const course_progress *p)
{
    return c->laps && p->laps_done >= c->laps;
}

/* One tick's move: the car's centre before and after it (px, as the
 * simulation holds them, before or after its screen wrap), its AxisAngle
 * after it, and whether R was held in it. */
struct course_move {
    float x0, y0, x1, y1, angle;
    bool reset;
};

/* What a tick did, as bits of course_count's result. */
enum {
    COURSE_LAP_BEGUN = 1,      /* p->now is a new lap */
    COURSE_GATE = 2,           /* a gate after the first, p->tick - p->now.start_tick into the lap */
    COURSE_LAP_DONE = 4,       /* p->last is the lap just completed */
    COURSE_FINISHED = 8,       /* ... and it was the course's last */
    COURSE_CONE = 16,          /* a cone knocked that counts */
    COURSE_ABANDONED = 32,     /* R: the lap in progress is dropped */
    COURSE_COUNTING = 64,      /* a standing start's countdown runs (or begins again: R) */
    COURSE_MISSED = 128,       /* the lap has just gone by the next gate: p->missed says which */
};

/* ----------------------------------------------------------------------
 * course_count: counts one tick of p's car on c (see the top of this
 * file); returns what happened as COURSE_ bits.
 * ---------------------------------------------------------------------- */
unsigned course_count(const course *c, course_progress *p, const course_move *m);

/* course_count for the tick this thread's car has just run: the move
 * from (x0, y0), its place before the tick, to x, y; AxisAngle; R as the
 * tick's KeyMask held it. */
unsigned course_after_tick(const course *c, course_progress *p, float x0, float y0);

/* A lap's total in seconds: its time plus the penalty per cone. */
double course_lap_total(const course *c, const course_lap_head *l);

/* ----------------------------------------------------------------------
 * Lap rows, CSV: "lap,start_tick,ticks,cones,time_s,total_s" and a split
 * column per gate after the first, "gate2_s,gate3_s,..."; times to the
 * hundredth.  Each appends one line, with its newline, to out.
 * ---------------------------------------------------------------------- */
void course_laps_header(std::string *out, const course *c);
void course_lap_row(std::string *out, const course *c, const course_lap *l);

#endif
