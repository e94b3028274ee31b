/*
 * sim/nearest.h -- the name a misspelt word most likely means: car
 * fields, course keys, script keys.
 */
#ifndef CARAVELT_SIM_NEAREST_H
#define CARAVELT_SIM_NEAREST_H

#include <cstddef>
#include <string_view>

/* The name among names[0..n) fewest edits (insert, delete, change; case
 * aside) from word, if that is max_edits or fewer; the first such on a
 * tie; else null. */
const char *nearest_name(std::string_view word, const char *const *names, size_t n, int max_edits);

#endif
