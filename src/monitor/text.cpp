#include "text.h"

int TextLength(const char *text) {
    int n = 0;
    if (text)
        while (text[n]) ++n;
    return n;
}

void CopyTextPrefix(char *dst, int capacity, const char *src, int count) {
    if (!dst || capacity <= 0) return;
    int n = 0;
    if (src)
        while (n < count && n < capacity - 1 && src[n]) {
            dst[n] = src[n];
            ++n;
        }
    dst[n] = 0;
}

void CopyText(char *dst, int capacity, const char *src) {
    CopyTextPrefix(dst, capacity, src, capacity);
}

BOOL AppendText(char *dst, int capacity, const char *src) {
    int have = TextLength(dst), add = TextLength(src);
    if (have + add + 1 > capacity) return FALSE;
    for (int i = 0; i <= add; ++i) dst[have + i] = src ? src[i] : 0;
    return TRUE;
}

void FormatDecimal(char *dst, int capacity, unsigned long long value, int minDigits) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = (char)('0' + (int)(value % 10));
        value /= 10;
    } while (value && n < 24);
    while (n < minDigits && n < 24) digits[n++] = '0';
    char out[25];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
    CopyText(dst, capacity, out);
}

BOOL TextEquals(const char *a, const char *b) {
    if (!a || !b) return a == b;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

void CopyBytes(void *dst, const void *src, DWORD count) {
    BYTE *d = (BYTE *)dst;
    const BYTE *s = (const BYTE *)src;
    while (count--) *d++ = *s++;
}

void FillBytes(void *dst, BYTE value, DWORD count) {
    BYTE *d = (BYTE *)dst;
    while (count--) *d++ = value;
}
