// The stand-in's control lines (TALVEKSIM_CONTROL) for the settings pushes of
// a session with the real monitor window: the start, the options' OK, Enter
// twice, and the looked-for preset with OK.
#include "monitor_env.h"

#include <fstream>
#include <sstream>

#include "res/resource_ids.h"

namespace {

constexpr char kFuncNames[] =
    "READ WRITE FINDNEXT FCNNEXT SEEK CLOSE COMMIT FILELOCKS FILETIMES PIPEREQUEST HANDLEINFO "
    "ENUMHANDLE FINDCLOSE FCNCLOSE CONNECT DELETE DIR FILEATTRIB FLUSH GETDISKINFO OPEN RENAME "
    "SEARCH QUERY DISCONNECT UNCPIPEREQ IOCTL16DRIVE GETDISKPARMS FINDOPEN DASDIO";
// Open, FindOpen, Search and FileAttrib.
constexpr char kLookedFor[] = "000000000000000001001010000010";

std::vector<std::string> Names() {
    std::vector<std::string> names;
    std::istringstream in(kFuncNames);
    for (std::string n; in >> n;)
        names.push_back(n);
    return names;
}

// The line with the functions whose flag in `on` is '1'.
std::string Line(bool monitoring, const char* results, const std::string& on) {
    std::string line = std::string("monitoring=") + (monitoring ? "on" : "off") +
                       " results=" + results + " functions=";
    const std::vector<std::string> names = Names();
    bool first = true;
    for (size_t i = 0; i < names.size(); ++i) {
        if (on[i] != '1')
            continue;
        line += (first ? "" : ",") + names[i];
        first = false;
    }
    return line;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

class ControlLinesTest : public MonitorTest {};

TEST_F(ControlLinesTest, OneLinePerFilterCallInTheOrderOfThePushes) {
    const std::string control = SettingsFile(99) + ".control";
    DeleteFileA(control.c_str());
    SimSetControlFile(control.c_str());
    ASSERT_NE(Create(), nullptr); // the start's push
    const auto options = [&](std::vector<int> clicks) {
        StartScript({[clicks] {
            HWND dlg = FindThreadDialog();
            if (dlg == nullptr)
                return false;
            for (int id : clicks)
                SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0);
            SendDlgItemMessageA(dlg, IDOK, BM_CLICK, 0, 0);
            return true;
        }});
        SendMessageA(window_, WM_SYSCOMMAND, 102, 0);
        EXPECT_TRUE(ScriptDone()) << "the options dialog did not come up";
        StopScript();
    };
    options({});
    SendMessageA(window_, WM_COMMAND, IDOK, 0); // Enter: off
    SendMessageA(window_, WM_COMMAND, IDOK, 0); // and on
    options({IDC_LOOKED_FOR});
    EXPECT_EQ(CloseWith(WM_COMMAND, IDCANCEL), 0);

    const std::string all(30, '1');
    std::vector<std::string> want(64, Line(true, "all", all)); // two pushes of 32
    want.push_back(Line(false, "all", all));
    want.push_back(Line(true, "all", all));
    // The preset's push: the result filter, the flag, then function by function.
    want.push_back(Line(true, "failed", all));
    want.push_back(Line(true, "failed", all));
    std::string on = all;
    for (size_t i = 0; i < on.size(); ++i) {
        on[i] = kLookedFor[i];
        want.push_back(Line(true, "failed", on));
    }
    EXPECT_EQ(FileLines(control), want);
    EXPECT_EQ(want.back(),
              "monitoring=on results=failed functions=FILEATTRIB,OPEN,SEARCH,FINDOPEN");
    DeleteFileA(control.c_str());
}

} // namespace
