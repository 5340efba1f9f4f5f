/* Preloaded into blitshow, this stands in for SDL's SDL_SetVideoMode and
 * fails the way SDL does: no surface, and a reason for SDL_GetError. */
#include <SDL.h>

SDL_Surface *SDL_SetVideoMode(int width, int height, int bpp, Uint32 flags)
{
    (void)width;
    (void)height;
    (void)bpp;
    (void)flags;
    SDL_SetError("modo rechazado por la prueba");
    return NULL;
}
