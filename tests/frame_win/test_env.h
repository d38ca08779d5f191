// Shared set-up of the frame helpers' tests: a private settings file per test,
// dialogs from the test templates, and reading windows back.
#pragma once

#include "settings/ini_file.h"
#include "ui/dlg_frame.h"
#include "window_read.h"

#include <gtest/gtest.h>

#include <string>

// Each test gets an empty settings file of its own in the temp directory.
class TempIniTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// The stored [DlgPos] text for name, or "<none>" when the key is missing.
std::string StoredPlacement(const char* name);
void StorePlacement(const char* name, const char* text);
// Every key=value of [DlgPos], or "" when the section is empty.
std::string PlacementSection();

// A dialog procedure that only answers WM_INITDIALOG.
INT_PTR CALLBACK PlainDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
HWND CreateTestDialog(int templateId, DLGPROC proc);
void PumpMessages();

// Floor of half of n.
int FloorHalf(long long n);

std::string RectText(const RECT& r);
bool SameRect(const RECT& a, const RECT& b);
