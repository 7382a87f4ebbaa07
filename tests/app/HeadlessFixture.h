// What the tests of the executable's --render mode share: running it
// without a display, reading what it wrote, a fresh folder per test.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/AddressLimit.h"
#include "tests/SmallDisk.h"
#include "tests/app/RunProgram.h"

namespace fs = std::filesystem;

using Result = RunResult;

inline Result Render(const QStringList& args)
{
    return RunWithoutDisplay(QUILLION_EXE, QStringList{"--render"} + args);
}

// The same under an address-space limit of `kilobytes`, as `ulimit -v` sets.
inline Result RenderLimited(unsigned kilobytes, const QStringList& args)
{
    return RunWithoutDisplay("/bin/sh", QStringList{"-c", QString("ulimit -v %1 && exec \"$0\" \"$@\"").arg(kilobytes),
                                                    QUILLION_EXE, "--render"} +
                                            args);
}

inline int Lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

inline std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t U32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

// Pixel (x, y) of a 24-bit bottom-up bitmap, y counted from the top.
inline const uint8_t* Pixel(const std::string& bmp, int x, int y)
{
    const int w = int(U32(bmp, 18)), h = int(U32(bmp, 22));
    const int stride = (w * 3 + 3) / 4 * 4;
    return reinterpret_cast<const uint8_t*>(bmp.data()) + 54 + size_t(h - 1 - y) * stride + size_t(x) * 3;
}

inline bool IsBlack(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }

class Headless : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("quillion-cli-" + std::to_string(std::random_device{}()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    QString At(const char* name) const { return QString::fromStdString((dir / name).string()); }
    fs::path dir;
};

// The files in a folder, by name.
inline std::vector<std::string> Names(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Many seconds of building, whatever the machine: a signal sent once it
// has begun always finds it at work.
inline const QStringList kLongRender = {"--sample", "5", "--size", "1600x1200"};
