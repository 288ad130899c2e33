// The module's resources as the host build carries them: the bytes windres compiles from
// the module's .rc (the .res form), linked into the module and handed out by its
// QvlmrResources; the host reads them as Windows reads a DLL's resource section.
#ifndef QVLMR_RESOURCES_H
#define QVLMR_RESOURCES_H

#include <stddef.h>

extern "C" {
typedef const unsigned char *(*QvResourcesFn)(size_t *size);
}

#endif
