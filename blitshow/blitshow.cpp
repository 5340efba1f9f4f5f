#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    atexit(SDL_Quit);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "No se pudo iniciar SDL: %s\n", SDL_GetError());
        exit(1);
    }
    SDL_Surface *screen = SDL_SetVideoMode(640, 480, 24, SDL_HWSURFACE);
    if (screen == NULL) {
        fprintf(stderr, "No se puede inicializar el modo gráfico: %s", SDL_GetError());
        exit(1);
    }
    SDL_Surface *picture = SDL_LoadBMP_RW(SDL_RWFromFile("Imagenes/ajuste.bmp", "rb"), 1);
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
    getc(stdin);
    return 0;
}
