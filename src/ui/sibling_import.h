// A port proposed by the sibling client program, read from its registry key.
#ifndef QVLMR_SIBLING_IMPORT_H
#define QVLMR_SIBLING_IMPORT_H

#include "port_settings.h"

#define SIBLING_KEY_PATH "SOFTWARE\\Tamsell\\Harbrook\\Client\\Orvo"

// Fills what the key offers and passes the rules; 0 when the proposal names both a port
// and an address, -1 otherwise (the record is untouched when the key cannot be opened).
int ImportSiblingSettings(PortSettings *settings);

#endif
