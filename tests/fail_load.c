/* Preloaded into blitshow, this stands in for SDL's SDL_LoadBMP_RW and fails
 * without a word, as some libraries do on an empty file: no surface, the
 * error left as it was, and the stream closed if asked, as SDL does. */
#include <SDL.h>

SDL_Surface *SDL_LoadBMP_RW(SDL_RWops *src, int freesrc)
{
    if (freesrc)
        SDL_RWclose(src);
    return NULL;
}
