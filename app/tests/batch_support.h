// Running the program as a user runs it, for the batch tests.
#pragma once

#include "runtime/testing/test_support.h"

#include <QImage>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs the program with arguments in folder; standard input is empty unless
// the arguments redirect it. prefix goes before the program (a shell word
// such as "timeout 5").
inline Outcome quillan(const std::string& folder, const std::string& arguments, const std::string& prefix = "") {
    const bool ownInput = arguments.find(" < ") != std::string::npos || prefix.find('|') != std::string::npos;
    const std::string input = ownInput ? "" : " < /dev/null";
    const std::string command = "cd '" + folder + "' && QT_QPA_PLATFORM=offscreen " + prefix + " '" +
                                qtest::binaryDir() + "/quillan' " + arguments + " 2>&1" + input;
    Outcome outcome;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) outcome.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return outcome;
}

// Share of pixels that are not (nearly) white: 0 for a blank picture.
inline double inkShare(const QImage& picture) {
    long ink = 0;
    for (int y = 0; y < picture.height(); y += 2) {
        for (int x = 0; x < picture.width(); x += 2) {
            const QRgb p = picture.pixel(x, y);
            if (qRed(p) < 200 || qGreen(p) < 200 || qBlue(p) < 200) ++ink;
        }
    }
    return static_cast<double>(ink) / ((picture.width() / 2) * (picture.height() / 2));
}

class BatchFixture : public ::testing::Test {
protected:
    void SetUp() override { m_folder = qtest::makeTempDir("batch"); }
    void TearDown() override { qtest::removeTree(m_folder); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(m_folder + "/" + name, std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(m_folder + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(m_folder + "/" + name); }
    std::string m_folder;
};
