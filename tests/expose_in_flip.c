/* Preloaded into blitshow, this has an expose reach Xlib's queue while the
 * wait flips. The wait's first look for exposes is handed one, so that it
 * flips (SDL 1.2.15 repaints by itself and tells the program nothing). Once
 * that flip is done, the X server clears the window to magenta and exposes
 * it, and the wait for the server (XSync, as a flip's) queues the expose. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

static int handed; /* 1 once the expose is handed over, 2 once it is flipped */

int SDL_PeepEvents(SDL_Event *events, int count, SDL_eventaction action, Uint32 mask)
{
    static int (*real)(SDL_Event *, int, SDL_eventaction, Uint32);
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_PeepEvents");
    if (handed != 0 || action != SDL_GETEVENT || mask != SDL_VIDEOEXPOSEMASK)
        return real(events, count, action, mask);
    events[0].type = SDL_VIDEOEXPOSE;
    handed = 1;
    return 1;
}

int SDL_Flip(SDL_Surface *screen)
{
    static int (*real)(SDL_Surface *);
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_Flip");
    const int flipped = real(screen);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (handed == 1 && SDL_GetWMInfo(&info) == 1 && info.subsystem == SDL_SYSWM_X11) {
        handed = 2;
        XSetWindowBackground(info.info.x11.display, info.info.x11.window, 0xff00ff);
        XClearArea(info.info.x11.display, info.info.x11.window, 0, 0, 0, 0, True);
        XSync(info.info.x11.display, False);
    }
    return flipped;
}
