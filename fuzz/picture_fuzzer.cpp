// libFuzzer target: the bytes are blitshow's picture. They go through the
// program's own header check, then SDL's loader and the blit onto a
// 640x480, 24-bit screen, as in the program.
#include "check_bmp.h"

#include <SDL.h>

#include <cstdint>
#include <cstdlib>

static SDL_Surface *screen;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO) < 0 ||
        (screen = SDL_SetVideoMode(640, 480, 24, SDL_HWSURFACE)) == NULL)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SDL_RWops *rw = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (rw == NULL) // SDL2 makes no stream of 0 bytes; blitshow's file stream always is one
        return 0;
    if (!checkBMP(rw, static_cast<Sint64>(size))) {
        SDL_RWclose(rw);
        return 0;
    }
    SDL_Surface *picture = SDL_LoadBMP_RW(rw, 1);
    if (picture != NULL) {
        SDL_Rect where = {150, 150, static_cast<Uint16>(picture->w),
                          static_cast<Uint16>(picture->h)};
        SDL_UpperBlit(picture, NULL, screen, &where);
        SDL_FreeSurface(picture);
    }
    return 0;
}
