// Byte-string primitives shared by the whole program. Texts are single-byte
// (code page 949) and NUL-terminated; no routine allocates or checks the room
// in a destination: callers size their buffers.
#pragma once

#include <stdint.h>

// A blank is a space or a tab; no other byte counts as white space.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A quote is ' or "; both open and close a quoted token.
inline bool IsQuote(char c) {
    return c == '\'' || c == '"';
}

// Value of a hexadecimal digit (either case), or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Entry at index of a name list (NUL-terminated entries back to back). An
// index past the list's end, or a negative one, walks to the empty end entry.
const char* MszEntry(const char* list, int32_t index);

// Address of the text's terminating NUL.
char* StrEnd(char* text);
const char* StrEnd(const char* text);

// Skips count blank-separated tokens (a token may be quoted with ' or ") and
// the blanks after each; stops at the terminating NUL.
const char* StrSkipTokens(const char* pos, int32_t count);

// Index of the first occurrence of byte in text, or -1 (NUL is never found).
int32_t StrFindChar(const char* text, char byte);

// Index of the first occurrence of byte among the first count bytes, or -1.
int32_t MemFindByte(const void* bytes, uint32_t count, uint8_t byte);

// Writes byte over the terminator and a new NUL after it.
void StrAppendChar(char* text, char byte);

// Gives the file named by path the extension (given without a dot): the file
// name is cut after its first dot, or a dot is appended.
void PathSetExt(char* path, const char* ext);

// Reads a signed decimal or 0x-hexadecimal integer after optional blanks and
// sign; 32-bit wrap-around. consumed (optional) receives the bytes taken, or 0
// when no digit was read.
int32_t StrToNum(const char* text, int32_t* consumed);

// Appends ", " when list is not empty, then item.
void StrAppendItem(char* list, const char* item);

void MemFill(void* buffer, uint32_t count, uint8_t value);
void MemZero(void* buffer, uint32_t count);
