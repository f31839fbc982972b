// The program's pictures and icons, compiled in from resources.qrc.
#ifndef KELVORA_APP_RESOURCES_H
#define KELVORA_APP_RESOURCES_H

// Registers the program's pictures and icons (":/splash.png", ":/zenkari.png",
// ":/shortcut_201.png" ...). The start-up does it; windows and tests that may
// come first call it themselves. Calling it again does no harm.
void InitProgramResources();

#endif
