/* tests/sweep.h -- the tally, the walk over float bits and the closing line of the exhaustive checks. */
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>

inline uint64_t passed, failed;
inline const auto sweep_began = std::chrono::steady_clock::now();

inline uint32_t bits_of(float f) { return std::bit_cast<uint32_t>(f); }
inline float from_bits(uint32_t u) { return std::bit_cast<float>(u); }
/* Counts one value; true for the first ten differences, which the caller prints. */
inline bool tally(bool same) { return same ? (passed++, false) : failed++ < 10; }

/* check(u) for every stride-th bits u from lo, and hi itself, each with the sign bit too. */
template <class F> void over_bits(uint32_t lo, uint32_t hi, uint32_t stride, F check)
{
    for (uint32_t u = lo; u <= hi; u += stride)
        check(u), check(u | 0x80000000u);
    if ((hi - lo) % stride != 0)
        check(hi), check(hi | 0x80000000u);
}

/* Prints "N passed, N failed" (what CTest's log reads) and the time. */
inline int sweep_report(const char *name)
{
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - sweep_began;
    fprintf(stderr, "%s: %llu values in %.1f s\n", name,
            (unsigned long long)(passed + failed), took.count());
    printf("%llu passed, %llu failed\n", (unsigned long long)passed, (unsigned long long)failed);
    return failed ? 1 : 0;
}
