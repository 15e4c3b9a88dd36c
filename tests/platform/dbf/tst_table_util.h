// Helpers of the table tests: scratch folders, files, the python readers.
#pragma once

#include "platform/dbf/table.h"
#include "platform/runtime/error.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tst {

class TempDir {
public:
    explicit TempDir(const std::string& prefix)
    {
        const char* base = std::getenv("DXC_TEST_TMP");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/" + prefix + "_XXXXXX";
        if (!mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = templ;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

inline std::vector<std::string> listFolder(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::uint32_t headerCount(const std::string& path)
{
    const std::string b = readFile(path);
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    return std::uint32_t(p[4]) | std::uint32_t(p[5]) << 8 | std::uint32_t(p[6]) << 16 | std::uint32_t(p[7]) << 24;
}

inline std::string fixtureScript(const std::string& name)
{
    // Set by the test main for every test binary.
    return std::string(std::getenv("DXC_SOURCE_DIR")) + "/tests/platform/dbf/fixtures/" + name;
}

inline std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs /usr/bin/python3 with args; its standard output, or a test failure.
inline std::string runPython(const std::vector<std::string>& args)
{
    std::string cmd = "/usr/bin/python3";
    for (const std::string& a : args)
        cmd += " " + shellQuote(a);
    FILE* pipe = ::popen(cmd.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("popen failed");
    std::string out;
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, pipe))
        out.append(buf, n);
    const int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
    return out;
}

inline std::string formatName(dbf::Format f)
{
    switch (f) {
    case dbf::Format::DBase3: return "DBase3";
    case dbf::Format::DBase4: return "DBase4";
    case dbf::Format::DBase7: return "DBase7";
    case dbf::Format::FoxPro: return "FoxPro";
    case dbf::Format::VisualFoxPro: return "VisualFoxPro";
    }
    return "?";
}

// The error `f` raises, or a failure when it raises none.
template <typename F>
rt::Error errorOf(F&& f)
{
    try {
        f();
    } catch (const rt::Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error raised";
    return rt::Error("none");
}

}  // namespace tst
