/* Preloaded into the programs, this lets SDL_Init start, then opens a
 * connection as a library keeps one (X's, a bus's): a socket pair, both ends
 * held to the end. A standard stream that is not open leaves its number
 * free, and the connection takes it. At exit, whatever the program wrote
 * into the connection is reported, as a line in the file that
 * CONNECTION_LOG names. */
#ifndef _GNU_SOURCE
#define _GNU_SOURCE /* for RTLD_NEXT */
#endif
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

static int peer = -1;

static void report(void)
{
    char got[256];
    const ssize_t size = recv(peer, got, sizeof got, MSG_DONTWAIT);
    const char *log = getenv("CONNECTION_LOG");
    int fd = log && size > 0 ? open(log, O_WRONLY | O_CREAT | O_APPEND, 0600) : -1;
    if (fd >= 0) {
        dprintf(fd, "the program wrote %zd bytes into a library's connection\n", size);
        close(fd);
    }
}

int SDL_Init(Uint32 flags)
{
    static int (*real)(Uint32);
    if (real == NULL)
        *(void **)&real = dlsym(RTLD_NEXT, "SDL_Init");
    const int started = real(flags);
    int ends[2];
    if (peer < 0 && socketpair(AF_UNIX, SOCK_STREAM, 0, ends) == 0) {
        peer = ends[1]; /* ends[0], the lowest free number, is the library's */
        atexit(report);
    }
    return started;
}
