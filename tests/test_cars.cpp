/* Many cars as values: interleaved tick by tick on several threads, each car
 * drives exactly as caravelt-sim drives it alone. */
#include "cars.h"

/* Catches a tick that reads the place (x, y) for anything but moving it, as the sheet's loop shortcut
 * assumes: two cars equal but for x, y stay so under the same random scripts. */
TEST(Cars, TwoCarsEqualButForThePlaceStayEqualButForThePlace)
{
    std::vector<scripted_car> here = fleet(8), there = fleet(8);
    const float places[][2] = {{0, 0}, {1024, 768}, {1023.9f, 0.1f}, {-3, 800}, {100.25f, 700}, {512, -1}, {3000, 2000}, {7, 384}};
    for (int i = 0; i < 8; i++) {
        there[i].value.x = places[i][0], there[i].value.y = places[i][1];
        for (long t = 1; !here[i].done(); t++) {
            here[i].step(), there[i].step();
            car_state moved = there[i].value;
            moved.x = here[i].value.x, moved.y = here[i].value.y;
            ASSERT_EQ(differing(moved, here[i].value), "") << "car " << i << ", tick " << t;
        }
    }
}

/* Catches a variable left out of the shortcut's comparison, or the place counted in it: the
 * thread's names against a value that differs from them in one bit of one variable. */
TEST(Cars, SameStateSeesEveryVariableButThePlace)
{
    std::vector<scripted_car> cars = fleet(1);
    for (int t = 0; t < 500; t++)
        cars[0].tick_in();   /* every variable away from its start */
    car_state now;
    car_out(&now);
    EXPECT_TRUE(car_same_state(&now));
    auto flip = [](auto &v) { reinterpret_cast<unsigned char *>(&v)[0] ^= 1; };
#define ONE_BIT_OFF(type, name, start)                                                                  \
    {                                                                                                   \
        car_state c = now;                                                                              \
        flip(c.name);                                                                                   \
        EXPECT_EQ(car_same_state(&c), std::string(#name) == "x" || std::string(#name) == "y") << #name; \
    }
    SIM_STATE_ALL(ONE_BIT_OFF)
    car_state memo = now;
    flip(memo.TravelMemo.at[1].cos);
    EXPECT_FALSE(car_same_state(&memo)) << "the older memo entry";
}
