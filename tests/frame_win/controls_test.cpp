// Radio buttons, the private dialog class, the modal runner and the list wrappers.
#include "frame_ids.h"
#include "test_env.h"

#include <commctrl.h>

#include <string>

namespace {

class RadioTest : public testing::Test {
  protected:
    void SetUp() override {
        dlg_ = CreateTestDialog(IDD_RADIOS, PlainDlgProc);
        ASSERT_NE(dlg_, nullptr);
    }
    void TearDown() override { DestroyWindow(dlg_); }
    // Bit i stands for button IDC_RADIO0 + i; the run under test is 201 to 203.
    void SetChecks(unsigned mask) {
        for (int i = 0; i < 5; ++i) {
            CheckDlgButton(dlg_, IDC_RADIO0 + i, (mask >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
        }
    }
    unsigned Checks() {
        unsigned mask = 0;
        for (int i = 0; i < 5; ++i) {
            mask |= (IsDlgButtonChecked(dlg_, IDC_RADIO0 + i) == BST_CHECKED ? 1u : 0u) << i;
        }
        return mask;
    }
    HWND dlg_ = nullptr;
};

constexpr int kRun = IDC_RADIO0 + 1;

TEST_F(RadioTest, IndexOfHighestCheckedButtonInTheRun) {
    const struct {
        unsigned checked;
        int count;
        int expected;
    } cases[] = {
        {0b00000, 3, -1}, {0b00100, 3, 1},   {0b01010, 3, 2},
        {0b00010, 3, 0},  {0b10001, 3, -1}, // only buttons outside the run
        {0b00010, 0, -1}, {0b00010, -2, -1}, {0b10000, 4, 3},
    };
    for (const auto& c : cases) {
        SetChecks(c.checked);
        EXPECT_EQ(RadioIndex(dlg_, kRun, c.count), c.expected)
            << "checked " << c.checked << " count " << c.count;
    }
}

TEST_F(RadioTest, CheckTouchesOnlyTheRun) {
    const struct {
        unsigned before;
        int index;
        unsigned after;
    } cases[] = {
        {0b10001, 1, 0b10101},  {0b00100, 0, 0b00010},
        {0b01010, 2, 0b01000},  {0b00010, 3, 0b00010},  // index == count: nothing changes
        {0b01010, 9, 0b01010},  {0b00100, -1, 0b00000}, // below the run: cleared, 200 untouched
        {0b00101, -1, 0b00001}, {0b01000, -5, 0b00000},
    };
    for (const auto& c : cases) {
        SetChecks(c.before);
        RadioCheck(dlg_, kRun, 3, c.index);
        EXPECT_EQ(Checks(), c.after) << "before " << c.before << " index " << c.index;
    }
}

LRESULT CALLBACK CountingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefDlgProcA(wnd, msg, wParam, lParam);
}

bool InitSeen;
INT_PTR CALLBACK NoteInit(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        InitSeen = true;
        return TRUE;
    }
    return FALSE;
}

TEST(DlgClass, RegistersTheFieldsDialogTemplatesNeed) {
    const struct {
        const char* name;
        UINT icon, menu;
        WNDPROC proc;
    } cases[] = {
        {TEST_CLASS_NAME, IDI_TEST, 0, nullptr},
        {"WC_FrameTestMenu", 0, IDM_TEST, CountingProc},
    };
    for (const auto& c : cases) {
        EXPECT_NE(RegisterDlgClass(c.name, c.icon, c.menu, c.proc), 0) << c.name;
        WNDCLASSA wc = {};
        ASSERT_TRUE(GetClassInfoA(AppInst, c.name, &wc)) << c.name;
        EXPECT_EQ(wc.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
        EXPECT_EQ(wc.lpfnWndProc, c.proc != nullptr ? c.proc : DefDlgProcA);
        EXPECT_EQ(wc.cbClsExtra, 0);
        EXPECT_EQ(wc.cbWndExtra, 30);
        EXPECT_EQ(wc.hInstance, AppInst);
        EXPECT_EQ(wc.hIcon, c.icon != 0 ? LoadIconA(AppInst, MAKEINTRESOURCEA(c.icon)) : nullptr);
        if (c.icon != 0) {
            EXPECT_NE(wc.hIcon, nullptr);
        }
        EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, IDC_ARROW));
        EXPECT_EQ(reinterpret_cast<INT_PTR>(wc.hbrBackground), COLOR_BTNFACE + 1);
        EXPECT_EQ(wc.lpszMenuName, MAKEINTRESOURCEA(c.menu));
    }

    // A template naming the class builds a working dialog.
    InitSeen = false;
    HWND dlg = CreateTestDialog(IDD_CLASSED, NoteInit);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(InitSeen);
    char cls[32] = "";
    GetClassNameA(dlg, cls, sizeof cls);
    EXPECT_STREQ(cls, TEST_CLASS_NAME);
    EXPECT_NE(GetDlgItem(dlg, IDC_OK_BUTTON), nullptr);
    DestroyWindow(dlg);
}

HWND ModalOwnerSeen;
INT_PTR CALLBACK EndAtInit(HWND dlg, UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        ModalOwnerSeen = GetWindow(dlg, GW_OWNER);
        EndDialog(dlg, lParam * 2 + 1);
        return TRUE;
    }
    return FALSE;
}

TEST(RunModalDlg, GivesTheValuePassedToEndDialog) {
    HWND owner = CreateTestDialog(IDD_PLAIN, PlainDlgProc);
    ASSERT_NE(owner, nullptr);
    for (LPARAM param : {0, 21, -4}) {
        ModalOwnerSeen = nullptr;
        EXPECT_EQ(RunModalDlg(owner, EndAtInit, IDD_MODAL, param), param * 2 + 1);
        EXPECT_EQ(ModalOwnerSeen, owner);
    }
    EXPECT_EQ(RunModalDlg(owner, EndAtInit, 4321, 0), -1) << "missing template";
    DestroyWindow(owner);
}

class ListTest : public testing::Test {
  protected:
    void SetUp() override {
        dlg_ = CreateTestDialog(IDD_RESIZABLE, PlainDlgProc);
        ASSERT_NE(dlg_, nullptr);
        ASSERT_NE(GetDlgItem(dlg_, IDC_LIST), nullptr);
    }
    void TearDown() override { DestroyWindow(dlg_); }
    HWND dlg_ = nullptr;
};

TEST_F(ListTest, InsertedColumnsReadBack) {
    const struct {
        int column, width;
        const char* title;
        int index;
    } cases[] = {
        {0, 80, "Function", 0}, {1, 30, "Drive", 1}, {7, 1200, "Data", 2}, // past the end: appended
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListInsertColumn(dlg_, IDC_LIST, c.column, c.width, c.title), c.index);
    }
    for (const auto& c : cases) {
        EXPECT_EQ(ListColumnWidth(dlg_, IDC_LIST, c.index), c.width) << c.title;
        char text[32] = "";
        LVCOLUMNA col = {};
        col.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        col.pszText = text;
        col.cchTextMax = sizeof text;
        ASSERT_TRUE(SendDlgItemMessageA(dlg_, IDC_LIST, LVM_GETCOLUMNA, c.index,
                                        reinterpret_cast<LPARAM>(&col)));
        EXPECT_STREQ(text, c.title);
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
        EXPECT_EQ(col.iSubItem, c.column);
    }
}

TEST_F(ListTest, MissingColumnWidthIsMinusOne) {
    ListInsertColumn(dlg_, IDC_LIST, 0, 80, "Function");
    for (int column : {1, 6, -1}) {
        EXPECT_EQ(ListColumnWidth(dlg_, IDC_LIST, column), -1) << column;
    }
    EXPECT_EQ(ListColumnWidth(dlg_, 555, 0), -1) << "no such control";
}

TEST_F(ListTest, DeleteAllEmptiesTheList) {
    ListInsertColumn(dlg_, IDC_LIST, 0, 80, "Function");
    for (int i = 0; i < 3; ++i) {
        char text[] = "row";
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = text;
        SendDlgItemMessageA(dlg_, IDC_LIST, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    ASSERT_EQ(SendDlgItemMessageA(dlg_, IDC_LIST, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_TRUE(ListDeleteAll(dlg_, IDC_LIST));
    EXPECT_EQ(SendDlgItemMessageA(dlg_, IDC_LIST, LVM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(ListColumnWidth(dlg_, IDC_LIST, 0), 80) << "columns stay";
}

} // namespace
