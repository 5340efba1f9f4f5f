/* Preloaded into blitshow, this has an expose reach Xlib's queue while the
 * wait flips. The wait's first look for exposes is handed one, so that it
 * flips: SDL 1.2.15 repaints by itself on an expose and tells the program
 * nothing, where later stacks give the event. That flip, after the real
 * one, scribbles over the window, as another client may, has the X server
 * expose it and waits for the server (XSync), as a flip does: the expose
 * sits in Xlib's queue, and the connection is not readable for it. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

static int handed; /* 1 once the expose is handed over, 2 once it is met */

int SDL_PeepEvents(SDL_Event *events, int count, SDL_eventaction action, Uint32 mask)
{
    static int (*real)(SDL_Event *, int, SDL_eventaction, Uint32);
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_PeepEvents");
    if (handed == 0 && action == SDL_GETEVENT && mask == SDL_VIDEOEXPOSEMASK) {
        SDL_Event exposed;
        exposed.type = SDL_VIDEOEXPOSE;
        handed = real(&exposed, 1, SDL_ADDEVENT, 0);
    }
    return real(events, count, action, mask);
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
        Display *display = info.info.x11.display;
        const Window window = info.info.x11.window;
        GC gc = XCreateGC(display, window, 0, NULL);
        XSetForeground(display, gc, 0xff00ff); /* the test's cover colour */
        XFillRectangle(display, window, gc, 0, 0, screen->w, screen->h);
        XFreeGC(display, gc);
        XClearArea(display, window, 0, 0, 0, 0, True);
        XSync(display, False);
    }
    return flipped;
}
