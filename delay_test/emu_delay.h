#ifndef EMU_DELAY_H
#define EMU_DELAY_H

// Waits ms milliseconds by spinning on SDL's tick counter, never sleeping.
void emuSDL_Delay(unsigned int ms);

#endif
