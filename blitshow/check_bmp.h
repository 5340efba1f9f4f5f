#ifndef CHECK_BMP_H
#define CHECK_BMP_H

#include <SDL.h>

// Refuses a BMP whose headers would crash SDL's loader or make it read or
// allocate far more than the file holds, with a reason for SDL_GetError.
// size is what the stream holds from where it is; the stream is left there.
bool checkBMP(SDL_RWops *rw, Sint64 size);

#endif
