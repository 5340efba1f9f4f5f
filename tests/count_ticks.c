/* Preloaded into delay_test, this makes SDL's tick count a count of its
 * readings, so that every line of a run is known whatever the machine: each
 * reading is a millisecond after the one before, and the second one
 * (emuSDL_Delay's start, once the start line is written) TICKS_JUMP
 * milliseconds later still. SDL reads no ticks of its own through this
 * symbol there, on either stack, so the count is the program's. */
#include <SDL.h>
#include <stdlib.h>

Uint32 SDL_GetTicks(void)
{
    static Uint32 earlier; /* readings before this one */
    const char *jump = getenv("TICKS_JUMP");
    const Uint32 now = earlier++;
    return now == 0 || jump == NULL ? now : now + (Uint32)strtoul(jump, NULL, 0);
}
