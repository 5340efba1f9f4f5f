/* Preloaded into blitshow, this stands in for SDL's SDL_SetVideoMode and
 * fails the way SDL does: no surface, and a reason for SDL_GetError, which
 * VIDEO_MODE_ERROR gives if set; empty, none, as some libraries give. */
#include <SDL.h>
#include <stdlib.h>

SDL_Surface *SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    (void)width;
    (void)height;
    (void)bpp;
    (void)flags;
    const char *reason = getenv("VIDEO_MODE_ERROR");
    SDL_ClearError();
    if (reason == NULL || *reason != '\0')
        SDL_SetError("%s", reason != NULL ? reason : "modo rechazado por la prueba");
    return NULL;
}
