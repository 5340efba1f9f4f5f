/* Preloaded into blitshow, this cuts the reading half of its X connection
 * once the prompt is out, before the wait's first trip through SDL: Xlib
 * then meets the end of the connection inside SDL, as when the server goes
 * while SDL is reading from it. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <stdio.h>
#include <sys/socket.h>

int fflush(FILE *stream)
{
    static int (*real)(FILE *);
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "fflush");
    const int flushed = real(stream);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (stream == stdout && SDL_GetWMInfo(&info) == 1 && info.subsystem == SDL_SYSWM_X11)
        shutdown(ConnectionNumber(info.info.x11.display), SHUT_RD);
    return flushed;
}
