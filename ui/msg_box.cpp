// String resources and the program's message boxes.
#include "ui/dlg_frame.h"

namespace {

constexpr int kRingSlots = 4;
constexpr int kResStringSize = 128;
constexpr int kOwnerTitleSize = 80;
constexpr UINT kIconBits = MB_ICONHAND | MB_ICONQUESTION | MB_ICONASTERISK;
static_assert(kIconBits == 0x70);

char RingText[kRingSlots][kResStringSize];
int RingSlot = 0;

} // namespace

const char* ResString(UINT id) {
    RingSlot = (RingSlot + 1) % kRingSlots;
    char* text = RingText[RingSlot];
    // A missing string reads as empty, not as the slot's text of four calls ago.
    text[0] = '\0';
    LoadStringA(AppInst, id, text, kResStringSize);
    return text;
}

int MsgBoxText(HWND owner, const char* text, UINT style) {
    char title[kOwnerTitleSize];
    title[0] = '\0';
    if (owner != nullptr) {
        GetWindowTextA(owner, title, kOwnerTitleSize);
    }
    if ((style & kIconBits) == 0) {
        style |= MB_ICONEXCLAMATION;
    }
    style |= MB_TASKMODAL;
    return MessageBoxA(owner, text, owner != nullptr ? title : nullptr, style);
}

int MsgBoxRes(HWND owner, UINT id, UINT style) {
    return MsgBoxText(owner, ResString(id), style);
}
