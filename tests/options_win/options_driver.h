// Runs the real options dialog modally and drives it with real messages from
// inside its own modal loop; keeps the settings file in a temporary place.
#pragma once

#include "settings/monitor_settings.h"

#include <windows.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Runs RunModalDlg(null, OptionsDlgProc, IDD_OPTIONS, 0). Once the dialog is
// up, script(dialog) runs; it is expected to end the dialog (click OK or
// cancel). A dialog still open after the script is ended with kStuck.
constexpr INT_PTR kStuck = 77;
INT_PTR RunOptionsDialog(const std::function<void(HWND)>& script);

void Click(HWND dlg, int id); // BM_CLICK, as a mouse click would

// What the dialog's controls show.
struct DlgView {
    std::array<bool, kIfsFuncCount> funcs{};
    std::string rowText;
    std::array<bool, 3> results{}; // 모두, 성공, 실패
    bool monitorOn = false;
    bool operator==(const DlgView& o) const {
        return funcs == o.funcs && rowText == o.rowText && results == o.results &&
               monitorOn == o.monitorOn;
    }
};
std::ostream& operator<<(std::ostream& out, const DlgView& v);
DlgView ReadView(HWND dlg);

// The monitoring settings in memory.
struct Settings {
    std::array<int8_t, kIfsFuncCount> enable{};
    int32_t rows = 0;
    int8_t result = 0;
    int8_t monitorOn = 0;
    bool operator==(const Settings& o) const {
        return enable == o.enable && rows == o.rows && result == o.result &&
               monitorOn == o.monitorOn;
    }
};
std::ostream& operator<<(std::ostream& out, const Settings& s);
Settings SettingsInMemory();
void SetSettingsInMemory(const Settings& s);
// enable bytes from a text of '0'/'1' characters
std::array<int8_t, kIfsFuncCount> EnableBytes(const char* bits);

// Every test gets its own empty settings file and known settings in memory.
class OptionsDlgTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string IniText(const char* key);   // [Config] key, "" when missing
    std::vector<std::string> ConfigLines(); // [Config] "key=value" lines in file order
    void WriteConfig(const char* key, const char* value);

    std::string path_;
};
