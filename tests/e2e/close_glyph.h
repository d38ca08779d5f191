#pragma once

#include <windows.h>

// closeglyph: prints the close button's dark pixels and the face GDI picks for
// Marlett; exit code 0 when the button shows a cross.
int CmdCloseGlyph(HWND monitor);
