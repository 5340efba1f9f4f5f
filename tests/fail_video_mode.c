/* Preloaded into blitshow, this stands in for SDL's SDL_SetVideoMode and
 * fails the way SDL does: no surface, and a reason for SDL_GetError, which
 * VIDEO_MODE_ERROR gives if set. Set empty, it gives none and leaves the
 * error as it found it, as SDL3 3.4 does for some modes. */
#include <SDL.h>
#include <stdlib.h>

SDL_Surface *SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    (void)width;
    (void)height;
    (void)bpp;
    (void)flags;
    const char *reason = getenv("VIDEO_MODE_ERROR");
    if (reason == NULL || *reason != '\0')
        SDL_SetError("%s", reason != NULL ? reason : "mode refused by the test");
    return NULL;
}
