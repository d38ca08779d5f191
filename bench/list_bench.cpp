// list_bench [HIDDEN_ROWS [SHOWN_ROWS]]: rows per second that RenderCallRow
// adds to the real monitor window's list, against a bare loop that sends the
// same list-view messages with fixed texts to the same list, in the same run.
// Measured with the window hidden and shown, at MaxViewLineQty 200 and 10000;
// the list is first filled to the limit, so every row also pushes one out.
// The two loops take turns in blocks so that drift affects both alike. A
// third loop sends the bare messages with the very texts RenderCallRow
// gives each record (built in advance), which tells the cost of the texts'
// contents in the list apart from the cost of making them.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "event/call_row_texts.h"
#include "ui/render_call_row.h"
#include "mixed_trace.h"
#include "monitor_host.h"
#include "settings/monitor_settings.h"
#include "trace/call_trace.h"
#include "ui/dlg_frame.h"

namespace {

constexpr int kMaxRecords = 256;
alignas(8) uint8_t gRecords[kMaxRecords][kIfsCallRecMax + 8]; // static: 32-bit addresses
int gRecordCount;
char gFixed[kCallColumnCount][kRowScratchSize];
const char* gFixedTexts[kCallColumnCount];

// The messages RenderCallRow sends, with fixed texts and nothing else.
void BareRow(HWND window) {
    BareListRow(window, gFixedTexts);
}

// The six texts of every record, made in advance.
char gTexts[kMaxRecords][kCallColumnCount][kRowScratchSize];
const char* gTextPtrs[kMaxRecords][kCallColumnCount];

int gNext;
void BareRowSameTexts(HWND window) {
    for (int c = 0; c < kCallColumnCount; ++c)
        gFixedTexts[c] = gTextPtrs[gNext][c];
    BareRow(window);
    for (int c = 0; c < kCallColumnCount; ++c)
        gFixedTexts[c] = gFixed[c];
    gNext = (gNext + 1) % gRecordCount;
}

void RenderRow(HWND window) {
    RenderCallRow(window, reinterpret_cast<LPARAM>(gRecords[gNext]));
    gNext = (gNext + 1) % gRecordCount;
}

// Seconds for rows rows of one kind; shown windows get their messages (and
// so their painting) after each row, as the program's loop gives them.
double Block(HWND window, void (*row)(HWND), int rows, bool shown) {
    const double start = Now();
    for (int i = 0; i < rows; ++i) {
        row(window);
        if (shown)
            PumpAll();
    }
    return Now() - start;
}

void Measure(HWND window, int32_t qty, bool shown, int rows) {
    MaxViewLineQty = qty;
    ShowWindow(window, SW_HIDE);
    ListDeleteAll(window, kCallListId);
    PumpAll();
    while (ListRows(window) < qty)
        BareRow(window);
    if (shown) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    PumpAll();
    constexpr int kRounds = 8;
    const int block = rows / kRounds > 0 ? rows / kRounds : 1;
    // Seconds per block of each kind (bare, same texts, RenderCallRow), by round.
    double secs[3][kRounds];
    void (*const kinds[3])(HWND) = {BareRow, BareRowSameTexts, RenderRow};
    for (int round = 0; round < kRounds; ++round) {
        // Each round starts with another of the three.
        for (int k = 0; k < 3; ++k) {
            const int kind = (round + k) % 3;
            gNext = 0;
            secs[kind][round] = Block(window, kinds[kind], block, shown);
        }
    }
    double sum[3] = {0, 0, 0};
    for (int kind = 0; kind < 3; ++kind)
        for (int round = 0; round < kRounds; ++round)
            sum[kind] += secs[kind][round];
    const double total = static_cast<double>(block) * kRounds;
    std::printf("%-6s MaxViewLineQty %5d  rows %5.0f each:  bare %7.1f rows/s  bare with the "
                "same texts %7.1f rows/s  RenderCallRow %7.1f rows/s  ratio %.3f (to same "
                "texts %.3f)\n",
                shown ? "shown" : "hidden", qty, total, total / sum[0], total / sum[1],
                total / sum[2], sum[2] / sum[0], sum[2] / sum[1]);
    // The spread over the rounds: each round's rows/s of the three kinds and
    // its ratio of RenderCallRow to bare; the first column is the kind that
    // went first in that round.
    std::vector<double> ratios;
    std::printf("       by round (first kind: rows/s bare, same texts, RenderCallRow; ratio):");
    for (int round = 0; round < kRounds; ++round) {
        ratios.push_back(secs[2][round] / secs[0][round]);
        std::printf(" %d: %.0f %.0f %.0f %.2f;", round % 3, block / secs[0][round],
                    block / secs[1][round], block / secs[2][round], ratios.back());
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("\n       ratio over the rounds: min %.3f median %.3f max %.3f\n", ratios.front(),
                (ratios[kRounds / 2 - 1] + ratios[kRounds / 2]) / 2, ratios.back());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int hiddenRows = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int shownRows = argc > 2 ? std::atoi(argv[2]) : 200;
    for (const std::vector<uint8_t>& r : MixedRecords()) {
        if (gRecordCount == kMaxRecords)
            break;
        std::memcpy(gRecords[gRecordCount++], r.data(), r.size());
    }
    // The fixed texts: a read with a double-byte path, of about the mean length.
    static char scratch[kCallColumnCount][kRowScratchSize];
    CallRowTexts(reinterpret_cast<const IfsCallRec*>(gRecords[1]), gFixedTexts, scratch);
    for (int c = 0; c < kCallColumnCount; ++c) {
        std::strcpy(gFixed[c], gFixedTexts[c]);
        gFixedTexts[c] = gFixed[c];
    }

    for (int r = 0; r < gRecordCount; ++r) {
        static char rowScratch[kCallColumnCount][kRowScratchSize];
        CallRowTexts(reinterpret_cast<const IfsCallRec*>(gRecords[r]), gTextPtrs[r], rowScratch);
        for (int c = 0; c < kCallColumnCount; ++c) {
            std::strcpy(gTexts[r][c], gTextPtrs[r][c]);
            gTextPtrs[r][c] = gTexts[r][c];
        }
    }
    HWND window = OpenMonitor("");
    if (window == nullptr) {
        std::fprintf(stderr, "list_bench: no monitor window\n");
        return 1;
    }
    for (int32_t qty : {200, 10000}) {
        Measure(window, qty, false, hiddenRows);
        Measure(window, qty, true, shownRows);
    }
    CloseMonitor(window);
    return 0;
}
