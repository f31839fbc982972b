#include "resources.h"

#include <QtCore/qglobal.h>

// Outside any namespace: the registration function that rcc generates is global.
void InitProgramResources() { Q_INIT_RESOURCE(resources); }
