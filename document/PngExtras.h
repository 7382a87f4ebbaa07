#pragma once
// What a PNG the program writes carries besides its pixels. Plain C++, so
// the headless renderer, which has no image classes, can ask for it.

#include <string>

// The key of the PNG text chunk that holds the document an image was
// made from.
inline constexpr const char* kPngDocumentKey = "Quillion document";

struct PngExtras {
    // The ".frc" text of the document, kept under kPngDocumentKey; none
    // when empty.
    std::string document;
    // 16 bits per channel: every 8-bit level v widened exactly, to v * 257
    // (the colourings make whole levels, so there is nothing finer).
    bool sixteenBits = false;
};
