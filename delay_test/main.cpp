#include "emu_delay.h"

#include <SDL.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

// Busy-waits on the millisecond tick counter instead of sleeping. The
// difference is taken modulo 2^32, so a wait across the counter's wrap
// still lasts its full length.
void emuSDL_Delay(unsigned int ms)
{
    const Uint32 start = SDL_GetTicks();
    while (SDL_GetTicks() - start < ms) {
    }
}

int main()
{
    // A standard stream that is not open would be taken by the first file
    // SDL opens, and the dialogue would read or write that file instead.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    // SDL turns Ctrl-C and kill into a quit event, which nothing here reads:
    // the spin would go on. Keep the dispositions the program was given.
    struct sigaction interrupt, terminate;
    sigaction(SIGINT, NULL, &interrupt);
    sigaction(SIGTERM, NULL, &terminate);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::cerr << "No se pudo iniciar SDL: " << SDL_GetError() << std::endl;
        exit(1);
    }
    sigaction(SIGINT, &interrupt, NULL);
    sigaction(SIGTERM, &terminate, NULL);
    atexit(SDL_Quit);

    std::cout << "Introduzca el tiempo que desea esperar (ms): ";
    // One whole line must hold one integer that fits the signed wait and is
    // not negative: anything else would spin for weeks or on an unset value.
    std::string line;
    std::getline(std::cin, line);
    std::istringstream entry(line);
    Sint32 wait = -1;
    if (!(entry >> wait) || wait < 0 || !(entry >> std::ws).eof()) {
        std::cerr << "Entrada no válida: introduzca un número entero de "
                     "milisegundos entre 0 y 2147483647"
                  << std::endl;
        exit(1);
    }

    const Sint32 start = SDL_GetTicks();
    std::cout << "Referencia INICIAL: " << start << std::endl;
    emuSDL_Delay(wait);
    const Sint32 end = SDL_GetTicks();
    std::cout << "Referencia FIN: " << end << std::endl;

    // Subtract as unsigned so the tick count passing 2^31 cannot overflow.
    const Sint32 elapsed = static_cast<Uint32>(end) - static_cast<Uint32>(start);
    const Sint32 error = static_cast<Uint32>(wait) - static_cast<Uint32>(elapsed);
    std::cout << "Ha esperado " << elapsed << " ms" << std::endl;
    std::cout << "Se ha producido un error de " << error << " ms" << std::endl;
    return 0;
}
