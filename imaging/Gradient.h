#pragma once
// A colour gradient: stops of colour at positions from 0 to 1, blended
// linearly in RGB between neighbours. The colourings read it through a
// table; the document keeps it as the text of one row, so a file carries
// its look.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct GradientStop {
    double position = 0; // 0 .. 1
    Rgb color;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

class Gradient {
public:
    // The most stops a gradient holds: a 256-colour palette is 256 stops.
    static constexpr size_t kMaxStops = 1024;

    // Black to white.
    Gradient();
    // Stops in any order; positions are brought into 0 .. 1 and sorted (a
    // stable sort, so two stops at one place make a hard edge). An empty
    // list, or one holding a position that is not a number, gives black
    // to white.
    explicit Gradient(std::vector<GradientStop> stops);

    const std::vector<GradientStop>& Stops() const { return m_stops; }

    // The colour at t, for t in 0 .. 1 (values outside are clamped): before
    // the first stop its colour, after the last the last's. Each channel
    // is blended in doubles and rounded to the nearest level.
    Rgb At(double t) const;
    // The colour at t in 16 bits a channel (0 .. 65535), for deep outputs.
    void At16(double t, uint16_t out[3]) const;

    // "0 #000000;1 #ffffff": position, space, colour, stops separated by
    // semicolons. Positions are written with the shortest text that reads
    // back to the same double.
    std::string Text() const;
    // False with a reason, the gradient unchanged, on a malformed text.
    bool SetText(std::string_view text, std::string* why = nullptr);

    friend bool operator==(const Gradient&, const Gradient&) = default;

private:
    std::vector<GradientStop> m_stops;
};
