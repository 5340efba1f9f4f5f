/* Preloaded into blitshow, this makes SDL_PumpEvents do nothing: no library
 * reads the X connection, so only the wait's own watch on it can notice the
 * server gone. */
#include <SDL.h>

void SDL_PumpEvents(void) {}
