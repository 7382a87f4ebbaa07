#include "model/tile/TileNormalForm.h"

#include <cmath>
#include <cstdlib>

TileMatrix Multiply(const TileMatrix& l, const TileMatrix& r)
{
    return {l.a * r.a + l.b * r.c, l.a * r.b + l.b * r.e, l.c * r.a + l.e * r.c, l.c * r.b + l.e * r.e};
}

namespace {

// Exact integer square root of a non-negative value.
long long ISqrt(long long x)
{
    if (x <= 0)
        return 0;
    long long r = (long long)std::sqrt(double(x));
    while (r * r > x)
        --r;
    while ((r + 1) * (r + 1) <= x)
        ++r;
    return r;
}

const TileMatrix kQuarterTurn{0, -1, 1, 0};
const TileMatrix kMirror{1, 0, 0, -1};

} // namespace

TileNormalForm NormalForm(int d, int t)
{
    TileNormalForm f;
    // Only expanding matrices make tiles; negative traces are not offered.
    // The magnitude limit keeps every product below in 32 bits.
    if (t < 0 || std::abs((long long)d) < 2 || (d > 0 && t > d) || (d < 0 && t > -d - 2) || d > 1000000 || d < -1000000)
        return f;
    const long long x = 4LL * d - (long long)t * t;
    const long long l = ISqrt(x);

    if (x >= 0 && l * l == x) { // square lattice
        // Trace 0 means d = k^2 and l = 2k: A is k times the quarter turn,
        // which the whole square group normalises.
        if (t != 0 && t < l)
            return f;
        f.A = {int(t / 2), int(-l / 2), int(l / 2), int(t / 2)};
        f.rot = kQuarterTurn;
        if (l != 0 && t != l && t != 0) {
            f.code = 4;
        } else {
            f.ref = kMirror;
            f.code = -4;
        }
        return f;
    }
    const long long m = x >= 0 ? ISqrt(x / 3) : 0;
    if (x >= 0 && 3 * m * m == x) { // hexagonal lattice
        if (t != m) {
            const long long u = (t - 3 * m) / 2, v = (t + 3 * m) / 2;
            if (4LL * d - u * u < x || 4LL * d - v * v < x)
                return f;
        }
        f.A = {int((t + m) / 2), int(m), int(-m), int((t - m) / 2)};
        f.rot = {1, 1, -1, 0};
        const long long p = f.A.a, q = f.A.b, s = f.A.e;
        if ((t * m) % d == 0 && (p * p - q * q) % d == 0 && (s * s - q * q) % d == 0) {
            f.ref = {1, 1, 0, -1};
            f.code = -6;
        } else {
            f.code = 6;
        }
        return f;
    }
    // General search over A = [[p, q], [r, s]] with trace t and determinant d.
    long long i0 = 0;
    if (x > 0) {
        i0 = ISqrt(x);
        if (i0 * i0 < x)
            ++i0;
    }
    for (long long i = i0; i <= 999; ++i) {
        const long long room = ISqrt(i * i - x);
        for (long long j = t % 2; room >= j; j += 2) {
            const long long w = i * i - j * j - x;
            const long long v = ISqrt(w);
            if (w < 0 || v * v != w)
                continue;
            const long long p = (t + j) / 2, r = (i + v) / 2, q = r - i, s = t - p;
            f.A = {int(p), int(q), int(r), int(s)};
            const bool allSame =
                std::llabs(p) == std::llabs(q) && std::llabs(q) == std::llabs(r) && std::llabs(r) == std::llabs(s);
            if (!allSame && (p != 0 || s != 0 || q != r) && (q != 0 || r != 0 || t != 0)) {
                if ((p != 0 || s != 0) && (q != 0 || r != 0)) {
                    f.code = 2;
                } else {
                    f.ref = kMirror;
                    f.code = -2;
                }
            } else {
                f.rot = kQuarterTurn;
                f.ref = kMirror;
                f.code = -4;
            }
            return f;
        }
    }
    return f;
}

void TileChartSquare(int column, int row, int& determinant, int& trace)
{
    if (column < kTileChartColumns / 2) {
        determinant = -row;
        trace = 19 - column;
    } else {
        determinant = row;
        trace = column - 20;
    }
}

uint32_t TileChartColor(int determinant, int trace)
{
    // black, blue, green, red, cyan, magenta, yellow, white
    static const uint32_t kPalette[8] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000,
                                         0x00FFFF, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    const int code = NormalForm(determinant, trace).code;
    const int index = code >= 0 ? code : -code - 1;
    return index >= 0 && index < 8 ? kPalette[index] : 0;
}
