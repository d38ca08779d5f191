// A small scanf: reads values out of a text by a pattern of literal bytes and
// conversions %d (with optional precision %.Nd), %c, %s and %%. Stops at the
// first mismatch; destinations it did not reach keep what they held.
#pragma once

void StrScan(const char* input, const char* pattern, ...);
