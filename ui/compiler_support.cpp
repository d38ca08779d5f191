// The memory and string routines that the compiler may call on its own (for
// structure copies, zeroed arrays, constant-length compares) in an executable
// linked without the C runtime. Compiled so that their loops are not turned
// back into calls of themselves.
#include <stddef.h>

extern "C" {

void* memcpy(void* dest, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (n-- != 0)
        *d++ = *s++;
    return dest;
}

void* memmove(void* dest, const void* src, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dest);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d <= s || d >= s + n)
        return memcpy(dest, src, n);
    while (n-- != 0)
        d[n] = s[n];
    return dest;
}

void* memset(void* dest, int value, size_t n) {
    unsigned char* d = static_cast<unsigned char*>(dest);
    while (n-- != 0)
        *d++ = static_cast<unsigned char>(value);
    return dest;
}

int memcmp(const void* a, const void* b, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(a);
    const unsigned char* q = static_cast<const unsigned char*>(b);
    for (; n != 0; --n, ++p, ++q)
        if (*p != *q)
            return *p < *q ? -1 : 1;
    return 0;
}

size_t strlen(const char* s) {
    const char* e = s;
    while (*e != '\0')
        ++e;
    return static_cast<size_t>(e - s);
}

} // extern "C"
