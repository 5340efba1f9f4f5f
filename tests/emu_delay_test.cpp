// Drives emuSDL_Delay, compiled from the program's own source, against a
// scripted tick source that replaces SDL's SDL_GetTicks at link time.
#include "emu_delay.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <vector>

namespace
{
std::vector<Uint32> script;
std::size_t readings = 0;
} // namespace

extern "C" Uint32 SDL_GetTicks(void)
{
    if (readings == script.size())
        throw std::out_of_range("the wait read past its scripted ticks");
    return script[readings++];
}

namespace
{
struct Case {
    const char *what;
    Uint32 ms;
    std::vector<Uint32> ticks;
    std::size_t expected_readings; // the reading at which the wait must end
};

const Case cases[] = {
    {"zero makes exactly two readings", 0, {7, 7, 7}, 2},
    {"zero ends even if the tick moved", 0, {7, 9, 9}, 2},
    {"one ends at the first change", 1, {10, 10, 10, 11, 11}, 4},
    {"one ends at a jump too", 1, {10, 10, 13, 14}, 3},
    {"n ends at the first difference reaching n", 5, {100, 101, 103, 104, 106, 107}, 5},
    {"n ends on an exact difference", 5, {100, 102, 105, 106}, 3},
    {"n keeps going through repeated readings", 3, {4, 4, 5, 5, 6, 6, 7, 8}, 7},
    {"a wait across the wrap lasts its length", 5, {0xFFFFFFFEu, 0xFFFFFFFFu, 0, 1, 2, 3, 4}, 6},
    {"a wrapped reading is no early end", 10, {0xFFFFFFFAu, 2, 3, 4, 5}, 4},
    {"a start past 2^31 is no early end", 4, {0x80000001u, 0x80000002u, 0x80000005u}, 3},
    {"the largest wait ends only at its full length", 0xFFFFFFFFu, {5, 6, 3, 4, 4}, 4},
};

TEST(EmuDelay, EndsAtTheFirstReadingThatReachesTheWait)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        script = c.ticks;
        readings = 0;
        EXPECT_NO_THROW(emuSDL_Delay(c.ms));
        EXPECT_EQ(readings, c.expected_readings);
    }
}
} // namespace
