/* Catches a tick lost or run twice, or a race, as a timer thread adds them (under TSan). */
#include <cstdio>
#include <thread>
#include "frame/ticks.h"

int main(void)
{
    const int total = 200000;
    std::thread callback([] { for (int i = 0; i < total; i++) timer_add(); });
    int run = 0;
    for (; run < total; std::this_thread::yield())
        for (; tick_owed(); tick_done())   /* the main loop's inner loop */
            run++;
    callback.join();
    if (run == total && timer.load() == 0)
        return 0;
    fprintf(stderr, "ran %d of %d ticks, %d left owed\n", run, total, timer.load());
    return 1;
}
