// Reading a function's first bytes and a version text out of an ELF shared
// library (32- or 64-bit, little-endian), without loading it: how the
// Windows view tells how a Wine library's functions take their arguments.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The file offset of the function `name` (from .dynsym, else .symtab),
// through the program headers that map its address; false and `why` when the
// file is no ELF library or has no such function.
bool ElfFunctionOffset(const std::string& path, const char* name, uint64_t* offset,
                       std::string* why);

// The same for several functions at once, read in one pass (offsets in the
// order of names); false and `why` naming the first one missing.
bool ElfFunctionOffsets(const std::string& path, const std::vector<const char*>& names,
                        std::vector<uint64_t>* offsets, std::string* why);

// Up to `size` bytes of the file at `offset`; the count read.
size_t ElfReadAt(const std::string& path, uint64_t offset, uint8_t* out, size_t size);

// The first NUL-terminated text in the file that is `prefix` followed by a
// digit ("wine-" finds "wine-10.0 (Debian 10.0~repack-6)", not
// "wine-preloader"), or "".
std::string ElfFindVersionText(const std::string& path, const char* prefix);
