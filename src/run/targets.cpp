/*
 * run/targets.cpp -- a course's target laps (see targets.h).
 */
#include "run/targets.h"

#include <algorithm>
#include <unistd.h>

#include "run/ghost.h"

static const char *const KINDS[] = {"bronze", "silver", "gold"};

void targets_load(const char *course_file, const course *c, std::vector<course_target> *out, std::string *note)
{
    std::string path = course_file, folder = ".", stem = path;
    size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        folder = path.substr(0, slash), stem = path.substr(slash + 1);
    size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0)
        stem.erase(dot);
    out->clear();
    note->clear();
    for (const char *kind : KINDS) {
        std::string file = folder + "/targets/" + stem + "-" + kind + ".rec";
        if (access(file.c_str(), F_OK) != 0)
            continue;
        run_drive g;
        course_race lap;
        char err[1024];
        if (ghost_open(&g, file.c_str(), c, course_file, err, sizeof err) != 0
            || ghost_drive(&g, &lap, err, sizeof err) != 0) {
            *note += std::string(note->empty() ? "" : "; ") + "target " + kind + " left out: " + err;
        } else {
            out->push_back({kind, course_lap_total(c, &lap.given)});
        }
        drive_close(&g);
    }
    std::stable_sort(out->begin(), out->end(), [](const course_target &a, const course_target &b) {
        return a.total > b.total;
    });
}
