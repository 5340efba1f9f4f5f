#include "check_bmp.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/extensions/XShm.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

// SDL's BMP loader trusts the file's headers: some values crash it, make it
// read past the end of the file or allocate far more than the file holds.
bool checkBMP(SDL_RWops *rw, Sint64 size)
{
    const Sint64 maxSide = 8192; // keeps what the loader allocates bounded
    // RLE's end-of-picture code lets 2 bytes stand for any size, so its bytes
    // bound nothing: 8192x8192 at 8 bits takes 64 MiB for 60 bytes of file,
    // 4096x4096 takes 16 MiB.
    const Sint64 maxCompressedSide = 4096;
    // The largest picture passed, 256 MiB of pixels, and a MiB for the rest.
    const Sint64 maxFile = maxSide * maxSide * 4 + (1 << 20);
    if (size > maxFile) {
        SDL_SetError("BMP file is too large");
        return false;
    }
    const int start = SDL_RWtell(rw);
    if (size < 2 || SDL_ReadLE16(rw) != 0x4D42) { // no "BM": SDL names that itself
        SDL_RWseek(rw, start, RW_SEEK_SET);
        return true;
    }

    SDL_RWseek(rw, start + 10, RW_SEEK_SET);
    const Sint64 offset = size < 18 ? 0 : SDL_ReadLE32(rw);
    const Sint64 info = size < 18 ? 0 : SDL_ReadLE32(rw);
    const bool os2 = info == 12;
    // OS/2 1.x's, or one that starts with the 40 bytes of Windows' fields:
    // the loaders read those and skip the rest, whatever its size.
    const bool known = os2 || info >= 40;
    const bool whole = known && 14 + info <= size;
    Sint64 width = 0, height = 0, compression = 0, colours = 0;
    int bits = 0;
    if (whole && os2) {
        width = SDL_ReadLE16(rw);
        height = SDL_ReadLE16(rw);
        SDL_ReadLE16(rw); // planes
        bits = SDL_ReadLE16(rw);
    } else if (whole) {
        width = static_cast<Sint32>(SDL_ReadLE32(rw));
        height = static_cast<Sint32>(SDL_ReadLE32(rw));
        SDL_ReadLE16(rw); // planes
        bits = SDL_ReadLE16(rw);
        compression = SDL_ReadLE32(rw);
        SDL_RWseek(rw, 12, RW_SEEK_CUR); // image size and resolution
        colours = SDL_ReadLE32(rw);
    }
    SDL_RWseek(rw, start, RW_SEEK_SET);

    const Sint64 rows = height < 0 ? -height : height;
    const bool rle = compression == 1 || compression == 2; // other values: rows as they are
    // Colour masks follow the header unless the pixels follow it at once.
    const bool masks = (bits == 16 || bits == 32) && (compression == 3 || offset != 14 + info);
    const char *fault = NULL;
    if (size >= 18 && !known)
        fault = "BMP header size not supported";
    else if (!whole || (masks && 14 + (os2 ? 12 : 40) + 12 > size))
        fault = "BMP header is incomplete";
    // 2-bit palettes are the library's to take or refuse: newer ones show them.
    else if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
             bits != 32)
        fault = "BMP bit count not supported";
    else if (width < 1 || width > maxSide || rows < 1 || rows > maxSide)
        fault = "BMP size out of range";
    // RLE8 is defined for 8-bit pictures only, RLE4 for 4-bit ones.
    else if (rle && bits != (compression == 1 ? 8 : 4))
        fault = "BMP compression does not match bit count";
    else if (rle && (width > maxCompressedSide || rows > maxCompressedSide))
        fault = "BMP compressed size out of range";
    else if (bits <= 8 && colours > (1 << bits))
        fault = "BMP palette has too many colors";
    else if (bits <= 8 && 14 + info + (colours ? colours : 1 << bits) * (os2 ? 3 : 4) > size)
        fault = "BMP palette is incomplete";
    else if (offset + (rle ? 0 : (width * bits + 31) / 32 * 4 * rows) > size)
        fault = "BMP pixel data is incomplete";
    if (fault != NULL)
        SDL_SetError("%s", fault);
    return fault == NULL;
}

// A 24-bit BMP holds blue, green and red bytes. On a big-endian machine SDL
// 1.2's own loader says so only where the pixels follow the headers at once:
// after a gap, its surface reads them as red, green and blue. The bytes are
// turned to match. sdl12-compat (1.2.50 on) loads through SDL2 or SDL3, which
// get it right.
static void inItsOwnColours(SDL_Surface *picture)
{
    const Uint32 red = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 0x0000FF : 0xFF0000;
    if (SDL_Linked_Version()->patch >= 50 || picture->format->BytesPerPixel != 3 ||
        picture->format->Rmask == red)
        return;
    for (int y = 0; y < picture->h; ++y) {
        Uint8 *pixel = static_cast<Uint8 *>(picture->pixels) + y * picture->pitch;
        for (int x = 0; x < picture->w; ++x, pixel += 3)
            std::swap(pixel[0], pixel[2]);
    }
}

// Opens and loads the picture, or gives NULL with the reason for
// SDL_GetError.
static SDL_Surface *loadPicture()
{
    // Only the load's own reason may follow the load message.
    SDL_ClearError();
    // The size from fstat: SDL 1.2's seek returns an int, which wraps past
    // 2 GiB; and it is the size of the very file the loader reads.
    FILE *opened = fopen("Imagenes/ajuste.bmp", "rb");
    struct stat stats;
    SDL_RWops *file = NULL;
    if (opened == NULL || fstat(fileno(opened), &stats) != 0)
        SDL_SetError("Couldn't open Imagenes/ajuste.bmp"); // as SDL's own open says it
    else if (!S_ISREG(stats.st_mode)) // a device's size says nothing of what it gives
        SDL_SetError("Imagenes/ajuste.bmp is not a regular file");
    else
        file = SDL_RWFromFP(opened, 1);
    if (file == NULL && opened != NULL)
        fclose(opened);
    SDL_Surface *picture = NULL;
    if (file != NULL) {
        if (checkBMP(file, stats.st_size))
            picture = SDL_LoadBMP_RW(file, 1);
        else
            SDL_RWclose(file);
    }
    // Some libraries fail on an empty or 1-byte file without a word.
    if (picture == NULL && *SDL_GetError() == '\0')
        SDL_SetError("Couldn't read a BMP from Imagenes/ajuste.bmp");
    if (picture != NULL)
        inItsOwnColours(picture);
    return picture;
}

// The display server gone: the program ends at once, saying so. Through
// exit() it would run SDL_Quit, and a library shutting its video down on the
// dead connection spins there for ever.
[[noreturn]] static void displayLost()
{
    fputs("Se ha perdido la conexión con la pantalla\n", stderr);
    _exit(1);
}

// Xlib's word that the connection broke while SDL was using it, in place of
// its own, which ends the program through exit().
[[noreturn]] static int connectionBroken(Display *)
{
    displayLost();
}

// SDL's connection to the X server, or NULL on any other display. Where
// there is none, the library's reason why is not the program's.
static Display *xDisplay()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWMInfo(&info) == 1 && info.subsystem == SDL_SYSWM_X11)
        return info.info.x11.display;
    SDL_ClearError();
    return NULL;
}

// The X server reads images in the other byte order: only a program run
// under emulation (qemu-user) meets one on its own machine.
static bool otherByteOrder(Display *display)
{
    return ImageByteOrder(display) != (SDL_BYTEORDER == SDL_BIG_ENDIAN ? MSBFirst : LSBFirst);
}

// Under X, SDL2 and SDL3 draw through OpenGL unless told otherwise: without a
// GPU, Mesa's software renderer and all of LLVM, for one picture that their
// own software path draws alike in a tenth of the memory. Told through SDL2's
// SDL_setenv: SDL3 reads a copy of the environment taken at its start, which
// sdl2-compat's SDL_setenv keeps in step. A user's own setting stands, but
// where the server reads the other byte order: there OpenGL's colours come
// out wrong, and Xlib converts the software path's.
static void drawWithoutOpenGL(Display *display)
{
    if (display == NULL)
        return;
    void *sdl2 = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_NOLOAD); // none under SDL 1.2.15
    if (sdl2 == NULL)
        return;
    auto set =
        reinterpret_cast<int (*)(const char *, const char *, int)>(dlsym(sdl2, "SDL_setenv"));
    const int overwrite = otherByteOrder(display);
    if (set != NULL) {
        set("SDL_RENDER_DRIVER", "software", overwrite);
        set("SDL_FRAMEBUFFER_ACCELERATION", "0", overwrite);
    }
    dlclose(sdl2);
}

static bool attachRefused;

static int refuseAttach(Display *, XErrorEvent *)
{
    attachRefused = true;
    return 0;
}

// Whether the X server takes this program's shared memory, as the libraries
// find out before they share the window's image with it: only a server on
// the same machine can. Theirs is open to all, as a server reached through
// the network can't tell who asks: so is this one, to read alone.
static bool sharesMemory(Display *display)
{
    if (!XShmQueryExtension(display))
        return false;
    XShmSegmentInfo segment;
    segment.shmid = shmget(IPC_PRIVATE, 1, IPC_CREAT | 0644);
    if (segment.shmid < 0)
        return false;
    segment.shmaddr = static_cast<char *>(shmat(segment.shmid, NULL, 0));
    segment.readOnly = True;
    bool shared = false;
    if (segment.shmaddr != reinterpret_cast<char *>(-1)) {
        attachRefused = false;
        XErrorHandler previous = XSetErrorHandler(refuseAttach);
        XShmAttach(display, &segment);
        XSync(display, False);
        shared = !attachRefused;
        if (shared)
            XShmDetach(display, &segment);
        XSync(display, False);
        XSetErrorHandler(previous);
        shmdt(segment.shmaddr);
    }
    shmctl(segment.shmid, IPC_RMID, NULL);
    return shared;
}

// Every library shares the window's image with a server on its machine in
// the machine's byte order, and one of the other reads it in its own: every
// colour comes out wrong, and no setting of theirs avoids it.
static bool coloursWouldComeOutWrong(Display *display)
{
    if (display == NULL || !otherByteOrder(display) || !sharesMemory(display))
        return false;
    SDL_SetError("Couldn't show true colors: the X server reads shared images in the other "
                 "byte order");
    return true;
}

// Waits for a byte on standard input. Meanwhile SDL answers the window
// system (a window manager's ping), and the screen is flipped again when
// the window was uncovered. No other event is read.
static void waitForEnter(SDL_Surface *screen)
{
    // Unread events would fill SDL's queue (a mouse moved over the window is
    // enough) and the next expose would be lost: only exposes are queued.
    for (int type = 0; type < SDL_NUMEVENTS; ++type) {
        if (type != SDL_VIDEOEXPOSE)
            SDL_EventState(type, SDL_IGNORE);
    }
    // Under X the connection brings all the window's work: the program
    // sleeps until it or standard input has some, but for SDL, which holds
    // the screen saver off from its event pump (SDL 1.2 every 5 s, SDL2 and
    // SDL3 every 30 s). SDL 1.2 hands over no Wayland connection: there the
    // compositor keeps the window's picture, and a wake-up a second answers
    // its ping well within the 10 s weston gives.
    Display *display = xDisplay();
    const int connection = display != NULL ? ConnectionNumber(display) : -1;
    const int timeout = connection >= 0 ? 5000 : 1000;
    struct pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {connection, POLLIN | POLLRDHUP, 0}};
    for (;;) {
        // Every event is read before the program sleeps: the connection is
        // not readable for what Xlib has already taken off it, and a flip
        // takes events off it while it waits for the server.
        SDL_PumpEvents();
        SDL_Event exposed;
        while (SDL_PeepEvents(&exposed, 1, SDL_GETEVENT, SDL_VIDEOEXPOSEMASK) > 0) {
            SDL_Flip(screen);
            SDL_PumpEvents();
        }
        const int ready = poll(watched, 2, timeout);
        // A display server gone away is noticed here, before SDL's next trip
        // to it.
        if ((watched[1].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0)
            displayLost();
        if (watched[0].revents != 0 || (ready < 0 && errno != EINTR))
            break; // a byte, the end of input, or no input at all
    }
    getc(stdin);
}

int main()
{
    // A standard stream that is not open would be taken by the first file
    // SDL opens, and the dialogue would read or write that file instead.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    // Without a GPU, Mesa's software renderer (llvmpipe) draws on threads of
    // its own, which can outlive the library SDL unloads at exit and then
    // crash the program. One picture, drawn once, needs no more than the
    // program's own thread. A user's own setting stands.
    setenv("LP_NUM_THREADS", "0", 0);
#if defined(__riscv) || defined(__loongarch__) || defined(__arm__)
    // llvmpipe fails on some architectures. On riscv64 and loong64 its ORC
    // JIT crashes in removeJITDylibs as SDL destroys its OpenGL context at
    // exit; on armhf (Debian 12's Mesa) it draws no texture, and the picture
    // stays black. Mesa's other software renderer compiles nothing, and draws
    // right on each.
    setenv("GALLIUM_DRIVER", "softpipe", 0);
#endif
    atexit(SDL_Quit);
    // SDL turns Ctrl-C and kill into a quit event, which nothing here reads:
    // the wait would go on. Keep the dispositions the program was given.
    struct sigaction interrupt, terminate;
    sigaction(SIGINT, NULL, &interrupt);
    sigaction(SIGTERM, NULL, &terminate);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "No se pudo iniciar SDL: %s\n", SDL_GetError());
        exit(1);
    }
    sigaction(SIGINT, &interrupt, NULL);
    sigaction(SIGTERM, &terminate, NULL);
    // Only the mode's own reason may follow its message: SDL2 2.26's start
    // leaves a word of its own behind even when it succeeds.
    SDL_ClearError();
    Display *display = xDisplay();
    drawWithoutOpenGL(display);
    SDL_Surface *screen =
        coloursWouldComeOutWrong(display) ? NULL : SDL_SetVideoMode(640, 480, 24, SDL_HWSURFACE);
    if (screen == NULL) {
        // SDL3 3.4 refuses some modes without a word (software rendering
        // on Wayland); the message must still say why.
        if (*SDL_GetError() == '\0')
            SDL_SetError("Couldn't set a 640x480, 24-bit video mode");
        fprintf(stderr, "No se puede inicializar el modo gráfico: %s", SDL_GetError());
        exit(1);
    }
    // Set after SDL's start, which may set a handler of its own.
    XSetIOErrorHandler(connectionBroken);
    SDL_Surface *picture = loadPicture();
    if (picture == NULL) {
        fprintf(stderr, "No se puede cargar la imagen: %s\n", SDL_GetError());
        exit(1);
    }

    SDL_Rect where;
    where.x = 150;
    where.y = 150;
    where.w = static_cast<Uint16>(picture->w);
    where.h = static_cast<Uint16>(picture->h);
    SDL_UpperBlit(picture, NULL, screen, &where);
    SDL_Flip(screen);
    SDL_FreeSurface(picture);

    puts("Pulse ENTER para continuar... ");
    // A pipe or a file buffers stdout fully: the prompt must be out before
    // the program waits, not after.
    fflush(stdout);
    waitForEnter(screen);
    return 0;
}
