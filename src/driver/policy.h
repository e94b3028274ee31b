/*
 * driver/policy.h -- the driver's inside: the policy that picks a tick's
 * keys from the car as it stands, and one drive of it from a task's
 * start.  The search (search.cpp) moves the policy's numbers.
 *
 * The numbers are kept as a vector in [0, 1] each (what the search
 * draws), mapped to their units when a drive begins.
 */
#ifndef CARAVELT_DRIVER_POLICY_H
#define CARAVELT_DRIVER_POLICY_H

#include <vector>

#include "driver/driver.h"

/* The overall numbers, then three per gate. */
enum { POLICY_GLOBALS = 6, POLICY_PER_GATE = 3 };

inline size_t policy_size(const course *c) { return POLICY_GLOBALS + POLICY_PER_GATE * c->gates.size(); }

/* A vector every drive of any course can start from: the middle of each
 * range, speeds low. */
std::vector<double> policy_default(const course *c);

/* What one drive came to. */
struct drive_outcome {
    bool clean = false;
    int laps_done = 0, gates = 0, cones = 0;
    bool missed = false;    /* went by its next gate */
    uint64_t ticks = 0;
    uint64_t best_ticks = 0;       /* the best lap's (all laps clean: no penalty) */
    double near_m = 0;             /* m from the car's last place to the next gate's point */
    double cost = 0;               /* the search's score: less is better */
};

/* ----------------------------------------------------------------------
 * policy_drive: the task driven by the policy with numbers v, on this
 * thread's names: until its laps are done, a cone falls in a lap, it
 * goes by its next gate, a state stops being finite, no gate is passed for 20 s, or (stop_after,
 * not 0) the drive has run that many ticks.  keys and laps, when not
 * null, take each tick's mask and each lap done.
 * ---------------------------------------------------------------------- */
drive_outcome policy_drive(const driver_task *t, const std::vector<double> &v, uint64_t stop_after,
                           std::vector<uint16_t> *keys, std::vector<course_lap> *laps);

#endif
