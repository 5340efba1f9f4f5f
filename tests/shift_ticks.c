/* Preloaded into delay_test, this makes SDL's tick count read TICKS_START
 * milliseconds at its first reading and go on from there, so that a run
 * starts just before 2^31 or 2^32 however long SDL took to start (under
 * qemu-user, far longer than natively). */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <stdlib.h>

Uint32 SDL_GetTicks(void)
{
    static Uint32 (*real)(void);
    static Uint32 first;
    const char *start = getenv("TICKS_START");
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_GetTicks");
    const Uint32 now = real();
    static int started;
    if (!started) { /* one reading: a second could be a tick later */
        first = now;
        started = 1;
    }
    return now - first + (Uint32)strtoul(start ? start : "0", NULL, 0);
}
