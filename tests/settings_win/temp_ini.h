// A fixture that points the settings path at a fresh file in a temporary
// folder, and helpers to read and write that file's bytes directly.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "settings/ini_file.h"

// The process's own scratch folder below the temporary folder.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        std::string d =
            std::string(temp) + "talvek_settings_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(d.c_str(), nullptr);
        return d;
    }();
    return dir;
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Lines of a file, split at CR LF (a missing last CR LF still ends a line).
inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string bytes = FileBytes(path);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines)
        text += l + "\r\n";
    return text;
}

// Every test gets a file of its own name, which does not exist at the start.
// Distinct names also keep the profile functions' cache from mixing tests up.
class TempIni : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memcpy(savedPath_, IniPath, sizeof IniPath);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = ScratchDir() + "\\" + info->test_suite_name() + "_" + info->name() + ".ini";
        for (char& c : path_)
            if (c == '/')
                c = '_';
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path_.c_str());
        PointIniPathAt(path_);
    }
    void TearDown() override {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path_.c_str());
        std::memcpy(IniPath, savedPath_, sizeof IniPath);
    }
    static void PointIniPathAt(const std::string& path) {
        ASSERT_LT(path.size(), sizeof IniPath);
        std::memcpy(IniPath, path.c_str(), path.size() + 1);
    }
    bool FileExists() const { return GetFileAttributesA(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string path_;

  private:
    char savedPath_[kIniPathSize];
};
