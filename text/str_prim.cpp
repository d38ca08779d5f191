#include "text/str_prim.h"

const char* MszEntry(const char* list, int32_t index) {
    // Counted down on 32 bits with wrap-around: a negative index never reaches 0.
    for (uint32_t left = static_cast<uint32_t>(index); left != 0 && *list != '\0'; --left)
        list = StrEnd(list) + 1;
    return list;
}

char* StrEnd(char* text) {
    while (*text != '\0')
        ++text;
    return text;
}

const char* StrEnd(const char* text) {
    while (*text != '\0')
        ++text;
    return text;
}

const char* StrSkipTokens(const char* pos, int32_t count) {
    // Counted down on 32 bits with wrap-around: a negative count runs to the end.
    uint32_t left = static_cast<uint32_t>(count);
    if (left == 0)
        return pos;
    for (;;) {
        if (IsQuote(*pos)) {
            const char quote = *pos++;
            while (*pos != '\0' && *pos != quote)
                ++pos;
            if (*pos == '\0')
                return pos;
            ++pos; // the closing quote belongs to the token
        } else {
            while (*pos != '\0' && !IsBlank(*pos))
                ++pos;
        }
        while (IsBlank(*pos))
            ++pos;
        if (*pos == '\0')
            return pos;
        if (--left == 0)
            return pos;
    }
}

int32_t StrFindChar(const char* text, char byte) {
    for (int32_t i = 0; text[i] != '\0'; ++i) {
        if (text[i] == byte)
            return i;
    }
    return -1;
}

int32_t MemFindByte(const void* bytes, uint32_t count, uint8_t byte) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    for (uint32_t i = 0; i < count; ++i) {
        if (p[i] == byte)
            return static_cast<int32_t>(i);
    }
    return -1;
}

void StrAppendChar(char* text, char byte) {
    char* end = StrEnd(text);
    end[0] = byte;
    end[1] = '\0';
}

void PathSetExt(char* path, const char* ext) {
    char* name = path;
    for (char* p = path; *p != '\0'; ++p) {
        if (*p == '\\')
            name = p + 1;
    }
    const int32_t dot = StrFindChar(name, '.');
    if (dot >= 0)
        name[dot + 1] = '\0';
    else
        StrAppendChar(name, '.');
    char* end = StrEnd(name);
    while ((*end++ = *ext++) != '\0') {
    }
}

int32_t StrToNum(const char* text, int32_t* consumed) {
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    bool sign = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        sign = true;
        ++p;
    }
    uint32_t base = 10;
    if (!sign && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    uint32_t value = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        const int d = HexDigitValue(*p);
        if (d < 0 || static_cast<uint32_t>(d) >= base)
            break;
        value = value * base + static_cast<uint32_t>(d);
    }
    if (negative)
        value = 0u - value;
    if (consumed != nullptr)
        *consumed = digits > 0 ? static_cast<int32_t>(p - text) : 0;
    return static_cast<int32_t>(value);
}

void StrAppendItem(char* list, const char* item) {
    char* end = StrEnd(list);
    if (end != list) {
        *end++ = ',';
        *end++ = ' ';
    }
    while ((*end++ = *item++) != '\0') {
    }
}

void MemFill(void* buffer, uint32_t count, uint8_t value) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < count; ++i)
        p[i] = value;
}

void MemZero(void* buffer, uint32_t count) {
    MemFill(buffer, count, 0);
}
