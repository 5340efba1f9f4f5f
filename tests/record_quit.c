/* Preloaded into the programs, this records each call of SDL_Quit as a line
 * in the file that QUIT_LOG names, then lets SDL's own SDL_Quit run. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

void SDL_Quit(void)
{
    static void (*real)(void);
    const char *log = getenv("QUIT_LOG");
    int fd = log ? open(log, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
    if (fd >= 0) {
        if (write(fd, "SDL_Quit\n", 9) != 9)
            abort();
        close(fd);
    }
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_Quit");
    real();
}
