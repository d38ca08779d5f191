// Helpers shared by the fuzz targets: fuzz bytes as texts in heap blocks of
// exactly the size needed, so that the address sanitizer reports any read or
// write past a text's terminator block.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { free(p); }
};
using HeapText = std::unique_ptr<char, FreeDeleter>;

// size bytes of data and a NUL, in a block of exactly size + 1 bytes. An
// embedded NUL ends the text early, as it would in the program.
inline HeapText TextCopy(const uint8_t* data, size_t size) {
    char* text = static_cast<char*>(malloc(size + 1));
    if (size != 0)
        memcpy(text, data, size);
    text[size] = '\0';
    return HeapText(text);
}

// A block of exactly size bytes, filled with fill.
inline HeapText Block(size_t size, uint8_t fill) {
    char* block = static_cast<char*>(malloc(size == 0 ? 1 : size));
    memset(block, fill, size == 0 ? 1 : size);
    return HeapText(block);
}

// Splits fuzz bytes into records of varying sizes, as a ring hands them
// over: a leading byte gives the record's size in `unit`s; the last record
// takes what is left.
template <typename Take>
void ForEachRecord(const uint8_t* data, size_t size, size_t unit, Take take) {
    size_t at = 0;
    while (at < size) {
        const size_t length = data[at++] * unit;
        const size_t n = length < size - at ? length : size - at;
        take(data + at, n);
        at += n;
    }
}

// Reports a broken property of a routine under fuzzing as a crash.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);            \
            abort();                                                                               \
        }                                                                                          \
    } while (0)
