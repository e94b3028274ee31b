/* tests/sweep.h -- the count and closing line of the exhaustive checks. */
#include <chrono>
#include <cstdint>
#include <cstdio>

inline uint64_t passed, failed;
inline const auto sweep_began = std::chrono::steady_clock::now();

/* Prints "N passed, N failed" (what CTest's log reads) and the time. */
inline int sweep_report(const char *name)
{
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - sweep_began;
    fprintf(stderr, "%s: %llu values in %.1f s\n", name,
            (unsigned long long)(passed + failed), took.count());
    printf("%llu passed, %llu failed\n", (unsigned long long)passed, (unsigned long long)failed);
    return failed ? 1 : 0;
}
