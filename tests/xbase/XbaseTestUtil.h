// Helpers for the table engine's tests: a private working folder, files, and the independent readers.
#pragma once

#include "xbase/d4all.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace xbt {

// The small table most engine tests create: a name and a number.
inline const FIELD4INFO kNameNumberFields[] = {{"NAME", 'C', 10, 0}, {"N", 'N', 5, 0}, {nullptr, 0, 0, 0}};

// Every test runs in a fresh folder of its own (the engine looks for its log file in the current folder).
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/xbase_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        char cwd[4096];
        ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
        oldCwd = cwd;
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        ASSERT_EQ(code4init(&cb), 0);
        cb.autoOpen = 0;
    }
    void TearDown() override {
        closeAll();
        code4initUndo(&cb);
        ASSERT_EQ(::chdir(oldCwd.c_str()), 0);
        std::string cmd = "rm -rf '" + dir + "'";
        (void)std::system(cmd.c_str());
    }
    void closeAll() {
        error4set(&cb, 0);
        while (auto* d = static_cast<DATA4*>(l4first(&cb.dataList)))
            d4close(d);
        error4set(&cb, 0);
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    CODE4 cb;
    std::string dir;
    std::string oldCwd;
};

inline std::string readFile(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Runs a shell command; returns its standard output, and its exit status through status.
inline std::string run(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = ::pclose(p);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// Runs a Python script with Debian's interpreter (which has the dbf and dbfread modules).
inline std::string python(const std::string& script, int* status = nullptr) {
    writeFile("script.py", script);
    return run("/usr/bin/python3 script.py 2>&1", status);
}

inline std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\n'))
        s.pop_back();
    return s;
}

} // namespace xbt
