/*
 * sim/nearest.cpp -- the likely name of a misspelt word (see nearest.h).
 */
#include "nearest.h"

#include <algorithm>
#include <cctype>
#include <cstring>

/* Edits from a to b, letters compared without case; past 63 bytes of b
 * too far to say. */
static int distance(std::string_view a, const char *b)
{
    size_t m = strlen(b);
    int row[64];
    if (m >= 64)
        return 99;
    for (size_t j = 0; j <= m; j++)
        row[j] = (int)j;
    for (size_t i = 1; i <= a.size(); i++) {
        int diag = row[0];
        row[0] = (int)i;
        for (size_t j = 1; j <= m; j++) {
            int up = row[j];
            int same = tolower((unsigned char)a[i - 1]) == tolower((unsigned char)b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + !same});
            diag = up;
        }
    }
    return row[m];
}

const char *nearest_name(std::string_view word, const char *const *names, size_t n, int max_edits)
{
    word = word.substr(0, 63);   /* longer is no name's misspelling */
    const char *best = nullptr;
    int best_d = max_edits + 1;
    for (size_t i = 0; i < n; i++) {
        int d = distance(word, names[i]);
        if (d < best_d) {
            best_d = d;
            best = names[i];
        }
    }
    return best;
}
