// How talvek-render puts a trace's bytes on a terminal: no byte that moves
// the cursor, ends a line or splits a column leaves it as it is.
#pragma once

#include <string>
#include <string_view>

// text with every control byte (below 0x20, TAB and the line ends among
// them) and 0x7F as %HH, as the trace writes them.
std::string EscapeControls(std::string_view text);

// A name of the trace (code page 949 bytes) for the terminal: in UTF-8 when
// the locale's character set is UTF-8 (a byte that is no code page 949
// character as %HH), else as it is; control bytes as %HH either way.
std::string TerminalName(std::string_view cp949);

// Reads the locale's character set (once, at the start).
void TerminalSetUp();
