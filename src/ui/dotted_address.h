// Dotted IPv4 addresses as typed into the setup dialog.
#ifndef QVLMR_DOTTED_ADDRESS_H
#define QVLMR_DOTTED_ADDRESS_H

#include <windows.h>

// TRUE when the host text has the dotted form: no leading or trailing ".", no "..",
// exactly three dots, and inet_addr accepts it.
BOOL IsDottedAddressForm(const char *host);
// Drops leading zeros octet by octet (010.001.002.003 -> 10.1.2.3) in place; returns 1 if
// the text was rewritten, 0 if it was left as it is.
int NormalizeDottedAddress(char *host);

#endif
