// Bounded text and byte helpers. The module links no C runtime, so it brings its own;
// every copy into a fixed array goes through a bound.
#ifndef QVLMR_TEXT_H
#define QVLMR_TEXT_H

#include <windows.h>

int TextLength(const char *text);
// Copies src into dst of capacity bytes, cutting it so the terminator always fits.
void CopyText(char *dst, int capacity, const char *src);
// Copies at most count bytes of src (fewer when src ends first) and terminates.
void CopyTextPrefix(char *dst, int capacity, const char *src, int count);
// Appends src; FALSE (and dst unchanged) when the result would not fit.
BOOL AppendText(char *dst, int capacity, const char *src);
// Decimal text of value with at least minDigits digits (leading zeros).
void FormatDecimal(char *dst, int capacity, unsigned long long value, int minDigits);
BOOL TextEquals(const char *a, const char *b);
void CopyBytes(void *dst, const void *src, DWORD count);
void FillBytes(void *dst, BYTE value, DWORD count);

#endif
