// What an outcome pair (errorClass, errorCode) means, in words a user can act on.
#ifndef QVLMR_OUTCOME_WORDS_H
#define QVLMR_OUTCOME_WORDS_H

#include <windows.h>

const char *OutcomeWords(DWORD errorClass, LONG errorCode);

#endif
