/* Preloaded into delay_test, this moves SDL's tick count on by TICKS_OFFSET
 * milliseconds, so that a run can start just before 2^31 or 2^32. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <stdlib.h>

Uint32 SDL_GetTicks(void)
{
    static Uint32 (*real)(void);
    const char *offset = getenv("TICKS_OFFSET");
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_GetTicks");
    return real() + (Uint32)strtoul(offset ? offset : "0", NULL, 0);
}
