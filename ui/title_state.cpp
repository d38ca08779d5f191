#include "ui/monitor_dlg.h"

#include "settings/monitor_settings.h"
#include "text/str_prim.h"

namespace {

constexpr int kTitleReadSize = 60;
// The longest title: 59 bytes of caption, " -", a blank, the longer state
// word (10 bytes in CP949) and the terminator.
constexpr int kTitleBufSize = kTitleReadSize - 1 + 2 + 1 + 10 + 1;

constexpr char kStateOn[] = "감시활성";
constexpr char kStateOff[] = "감시비활성";
static_assert(sizeof kStateOff - 1 <= 10, "title buffer holds the state word");

} // namespace

void ShowTitleState(HWND window) {
    char title[kTitleBufSize];
    GetWindowTextA(window, title, kTitleReadSize);
    const int32_t dash = StrFindChar(title, '-');
    if (dash < 0) {
        StrAppendChar(title, ' ');
        StrAppendChar(title, '-');
    } else {
        title[dash + 1] = '\0';
    }
    StrAppendChar(title, ' ');
    const char* word = EnaMonitorFg != 0 ? kStateOn : kStateOff;
    char* end = StrEnd(title);
    while ((*end++ = *word++) != '\0') {
    }
    SetWindowTextA(window, title);
}
