#pragma once
// Reads an AVI file back with libavformat for the tests: stream facts and
// every frame decoded to 24-bit RGB, top row first.

#include <cstdint>
#include <string>
#include <vector>

struct VideoFacts {
    bool opened = false;
    std::string codec;
    int width = 0, height = 0;
    double framesPerSecond = 0;
    std::vector<std::vector<uint8_t>> frames; // width * height * 3 bytes each
    std::string error;
};

VideoFacts ReadVideo(const std::string& path);
