// The product's version, written here once: the module's and the setup program's version
// resources, the About box, the build (the kit's name) and the Windows checks read it.
#ifndef QVLMR_VERSION_H
#define QVLMR_VERSION_H

#define QVLMR_VERSION_NUMBERS 2,37,0,0
#define QVLMR_VERSION_TEXT "2.037e"

#endif
