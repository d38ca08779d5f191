// closeglyph: reads the monitor window's close button back from the screen and
// checks that it shows a cross, the glyph Wine draws from its Marlett font.
// Without that font Wine falls back to another face and the button shows the
// letter "r" (and "0", "1" on the others).
#include "close_glyph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The close button in screen coordinates: the rightmost button of the
// caption, inside the window's frame.
RECT CloseButtonRect(HWND w) {
    RECT win;
    GetWindowRect(w, &win);
    const int frameX = GetSystemMetrics(SM_CXSIZEFRAME);
    const int frameY = GetSystemMetrics(SM_CYSIZEFRAME);
    const int width = GetSystemMetrics(SM_CXSIZE);
    const int height = GetSystemMetrics(SM_CYSIZE);
    RECT r = {win.right - frameX - width, win.top + frameY, win.right - frameX,
              win.top + frameY + height};
    return r;
}

// The rectangle's pixels from the screen, dark ones (the glyph, the button's
// shadow) as true, row by row.
std::vector<bool> DarkPixels(const RECT& r) {
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::vector<bool> dark(static_cast<size_t>(w) * h);
    const DWORD* px = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < dark.size(); ++i) {
        const DWORD c = px[i];
        const int luma = (GetRValue(c) * 3 + GetGValue(c) * 6 + GetBValue(c)) / 10;
        dark[i] = luma < 96;
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return dark;
}

// A cross: enough dark pixels, a square-ish bounding box, every pixel close to
// one of its two diagonals and all four corners reached. A letter has a stem
// or a bowl away from the diagonals.
bool IsCross(const std::vector<bool>& dark, int w, int h) {
    // Two pixels in from each side: the button's raised edge is dark too.
    int x0 = w, y0 = h, x1 = -1, y1 = -1, count = 0;
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x)
            if (dark[y * w + x]) {
                x0 = x < x0 ? x : x0;
                x1 = x > x1 ? x : x1;
                y0 = y < y0 ? y : y0;
                y1 = y > y1 ? y : y1;
                ++count;
            }
    const int bw = x1 - x0;
    const int bh = y1 - y0;
    if (count < 8 || bw < 4 || bh < 4 || std::abs(bw - bh) > 2)
        return false;
    bool corner[4] = {};
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            if (!dark[y * w + x])
                continue;
            const double u = static_cast<double>(x - x0) / bw; // 0..1 across
            const double v = static_cast<double>(y - y0) / bh; // 0..1 down
            const double off = std::min(std::fabs(u - v), std::fabs(u + v - 1));
            if (off * bw > 2.5)
                return false;
            if (u < 0.25 || u > 0.75)
                corner[(u > 0.5 ? 1 : 0) + (v > 0.5 ? 2 : 0)] |= v < 0.25 || v > 0.75;
        }
    return corner[0] && corner[1] && corner[2] && corner[3];
}

// The face GDI gives for the font Wine's caption buttons ask for.
void PrintMarlettFace() {
    HDC dc = GetDC(nullptr);
    HFONT font =
        CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, "Marlett");
    HGDIOBJ old = SelectObject(dc, font);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    printf("font for Marlett: %s\n", face);
}

} // namespace

int CmdCloseGlyph(HWND w) {
    const RECT r = CloseButtonRect(w);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const std::vector<bool> dark = DarkPixels(r);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            fputc(dark[y * width + x] ? '#' : '.', stdout);
        fputc('\n', stdout);
    }
    PrintMarlettFace();
    const bool cross = IsCross(dark, width, height);
    printf("close button %s\n", cross ? "shows a cross" : "does not show a cross");
    return cross ? 0 : 1;
}
