#include "imaging/AffineMap.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr double kDegree = 0.017453292519943295;
constexpr double kTiny = 1e-16;

// R = u u^T + cos(theta) (I - u u^T) + sin(theta) K.
void RotationMatrix(double r[9], double polar, double axial, double angle)
{
    const double a = polar * kDegree, b = axial * kDegree, t = angle * kDegree;
    const double u[3] = {std::cos(a) * std::cos(b), std::sin(a) * std::cos(b), std::sin(b)};
    const double c = std::cos(t), s = std::sin(t);
    const double k[9] = {0, u[2], -u[1], -u[2], 0, u[0], u[1], -u[0], 0};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i * 3 + j] = u[i] * u[j] * (1 - c) + (i == j ? c : 0) + s * k[i * 3 + j];
}

void CleanUp(AffineMap& map)
{
    for (int i = 0; i < 12; ++i)
        if (std::fabs(map.m[i]) < kTiny)
            map.m[i] = 0;
}

double Det3(const double a[9])
{
    return a[0] * (a[4] * a[8] - a[5] * a[7]) - a[1] * (a[3] * a[8] - a[5] * a[6]) + a[2] * (a[3] * a[7] - a[4] * a[6]);
}

// The first map holding a number that is not finite, or -1.
int FirstNotFinite(const MapSet& set)
{
    for (int k = 0; k < set.Count(); ++k)
        for (int i = 0; i < 13; ++i)
            if (!std::isfinite(set.maps[k].m[i]))
                return k;
    return -1;
}

bool AllFinite(const MapSet& set) { return FirstNotFinite(set) < 0; }

std::string Number(double v)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

// The user numbers the maps from 1, as the "Map %u" rows do.
std::string MapName(int k) { return "map " + std::to_string(k + 1); }

bool Fail(std::string* why, std::string text)
{
    if (why)
        *why = std::move(text);
    return false;
}

} // namespace

void Rotate(AffineMap& map, double polar, double axial, double angle)
{
    double r[9];
    RotationMatrix(r, polar, axial, angle);
    double out[12];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            out[i * 3 + j] = r[i * 3] * map.m[j] + r[i * 3 + 1] * map.m[3 + j] + r[i * 3 + 2] * map.m[6 + j];
        out[9 + i] = r[i * 3] * map.m[9] + r[i * 3 + 1] * map.m[10] + r[i * 3 + 2] * map.m[11];
    }
    std::copy(out, out + 12, map.m);
    CleanUp(map);
}

void RotatePoint(double p[3], double polar, double axial, double angle)
{
    AffineMap scratch{};
    SetTranslation(scratch, p[0], p[1], p[2]);
    Rotate(scratch, polar, axial, angle);
    p[0] = scratch.m[9];
    p[1] = scratch.m[10];
    p[2] = scratch.m[11];
}

void SetTranslation(AffineMap& map, double x, double y, double z)
{
    map.m[9] = x;
    map.m[10] = y;
    map.m[11] = z;
}

void MakeMap(AffineMap& map, double ratio, double polar, double axial, double angle, double fx, double fy, double fz)
{
    map.m[0] = polar;
    map.m[1] = axial;
    map.m[2] = angle;
    map.m[3] = map.m[4] = map.m[5] = ratio;
    map.m[6] = map.m[7] = map.m[8] = 0;
    map.m[9] = fx;
    map.m[10] = fy;
    map.m[11] = fz;
}

void MakePlanarMap(AffineMap& map, double ratio, double angle, double fx, double fy)
{
    MakeMap(map, ratio, 0, -90, angle, fx, fy, 0);
}

void ToMatrix(AffineMap& map)
{
    const AffineMap p = map;
    for (int i = 0; i < 12; ++i)
        map.m[i] = 0;
    map.m[0] = map.m[4] = map.m[8] = 1;
    map.m[12] = p.m[12];
    Rotate(map, p.m[0], p.m[1], p.m[2]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            map.m[i * 3 + j] *= p.m[3 + i];
    Rotate(map, p.m[6], p.m[7], p.m[8]);
    // t = F - M F keeps F fixed.
    for (int i = 0; i < 3; ++i)
        map.m[9 + i] = p.m[9 + i] - (map.m[i * 3] * p.m[9] + map.m[i * 3 + 1] * p.m[10] + map.m[i * 3 + 2] * p.m[11]);
}

void Conjugate(MapSet& set, double polar, double axial, double angle)
{
    double inv[9];
    RotationMatrix(inv, polar, axial, -angle);
    for (int k = 0; k < set.Count(); ++k) {
        AffineMap& map = set.maps[k];
        double out[9];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                out[i * 3 + j] = map.m[i * 3] * inv[j] + map.m[i * 3 + 1] * inv[3 + j] + map.m[i * 3 + 2] * inv[6 + j];
        std::copy(out, out + 9, map.m);
        Rotate(map, polar, axial, angle);
        CleanUp(map);
    }
}

double MapNorm(const AffineMap& map)
{
    return std::max({std::fabs(map.m[3]), std::fabs(map.m[4]), std::fabs(map.m[5])});
}

bool Normalise(MapSet& set, std::string* why)
{
    const int n = set.Count();
    if (n == 0)
        return Fail(why, "there are no maps");
    if (const int k = FirstNotFinite(set); k >= 0)
        return Fail(why, MapName(k) + " holds a number that is not finite");
    double total = 0;
    for (int k = 0; k < n; ++k) {
        total += set.maps[k].m[12];
        // A map that stretches in some direction has no bounded attractor.
        if (!(MapNorm(set.maps[k]) < 1))
            return Fail(why,
                        MapName(k) + " has ratio " + Number(MapNorm(set.maps[k])) + "; every ratio must be below 1");
    }
    if (!(total > 0) || !std::isfinite(total))
        return Fail(why, "the measures add up to " + Number(total) + "; they must add up to more than 0");
    MapSet out = set;
    for (int k = 0; k < n; ++k)
        out.maps[k].m[12] /= total;

    // Centroid: solve (I - sum p M) y = -sum p t by Cramer's rule.
    double a[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, b[3] = {0, 0, 0};
    for (int k = 0; k < n; ++k) {
        AffineMap m = out.maps[k];
        ToMatrix(m);
        const double p = m.m[12];
        for (int i = 0; i < 9; ++i)
            a[i] -= p * m.m[i];
        for (int i = 0; i < 3; ++i)
            b[i] -= p * m.m[9 + i];
    }
    const double det = Det3(a);
    if (!(std::fabs(det) > 1e-300))
        return Fail(why, "they have no common centre");
    double y[3];
    for (int c = 0; c < 3; ++c) {
        double ac[9];
        std::copy(a, a + 9, ac);
        for (int i = 0; i < 3; ++i)
            ac[i * 3 + c] = b[i];
        y[c] = Det3(ac) / det;
    }
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < 3; ++i)
            out.maps[k].m[9 + i] += y[i];

    // Radius: the attractor lies within max |t| / (1 - ratio) of the origin.
    double s = 0;
    for (int k = 0; k < n; ++k) {
        AffineMap m = out.maps[k];
        ToMatrix(m);
        const double product = std::fabs(out.maps[k].m[3] * out.maps[k].m[4] * out.maps[k].m[5]);
        const double ratio = product > 0 ? std::exp2(std::log2(product) / 3) : 0;
        const double len = std::sqrt(m.m[9] * m.m[9] + m.m[10] * m.m[10] + m.m[11] * m.m[11]);
        s = std::max(s, len / (1 - ratio));
    }
    // Every map fixing the origin: the attractor is a point, left unscaled.
    if (s > 0 && std::isfinite(s))
        for (int k = 0; k < n; ++k)
            for (int i = 9; i < 12; ++i)
                out.maps[k].m[i] /= s;
    for (int k = 0; k < n; ++k)
        for (int i = 0; i < 12; ++i)
            if (std::fabs(out.maps[k].m[i]) < kTiny)
                out.maps[k].m[i] = 0;
    if (!AllFinite(out))
        return Fail(why, "their numbers are too large");
    // The maps only: the count stays as it was, and the parameters window
    // may read it while a build normalises.
    std::copy(std::begin(out.maps), std::end(out.maps), std::begin(set.maps));
    return true;
}

double SimilarityDimension(MapSet& set)
{
    const int n = set.Count();
    if (n == 0)
        return 0;
    double r[MapSet::kMaxMaps];
    double b = -1e10;
    for (int k = 0; k < n; ++k) {
        const double v = set.maps[k].m[3] * set.maps[k].m[4] * set.maps[k].m[5];
        r[k] = v == 0 ? std::log(0.1) : std::log(std::fabs(v));
        b = std::max(b, r[k]);
    }
    auto equal = [&] {
        for (int k = 0; k < n; ++k)
            set.maps[k].m[12] = 1.0 / n;
        return 0.0;
    };
    // b >= 0: some map does not shrink volumes, and no dimension solves the
    // equation; NaN ratios end here too.
    if (!(b < 0))
        return equal();
    for (int k = 0; k < n; ++k)
        r[k] /= b;
    double w = 1.0 / n, q = std::log(w);
    // Newton on sum exp(q r) = 1 converges in a few steps; the bound only
    // guards against a step that would leave the domain.
    for (int iteration = 0; iteration < 1000; ++iteration) {
        double total = 0, sum = 0;
        for (int k = 0; k < n; ++k) {
            const double g = std::exp(q * r[k]);
            total += g;
            sum += r[k] * g;
        }
        const double d = (1 - total) / sum;
        if (!std::isfinite(d) || !(1 + d > 0))
            return equal();
        w *= 1 + d;
        q = std::log(w);
        if (std::fabs(d) <= 1e-12)
            break;
    }
    for (int k = 0; k < n; ++k)
        set.maps[k].m[12] = std::exp(q * r[k]);
    return 3 * q / b;
}

bool ComposeNext(const MapSet& set, CompositionLevel& level, CompositionLevel& below, double& x, double& y, double& z,
                 double& meanSquare, double& measure)
{
    if (level.next >= set.Count())
        return false;
    const double* mk = set.maps[level.next].m;
    ++level.next;
    const double* m = level.map;
    double* o = below.map;
    double square = 0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double e = m[i * 3] * mk[j] + m[i * 3 + 1] * mk[3 + j] + m[i * 3 + 2] * mk[6 + j];
            o[i * 3 + j] = e;
            square += e * e;
        }
        o[9 + i] = m[i * 3] * mk[9] + m[i * 3 + 1] * mk[10] + m[i * 3 + 2] * mk[11] + m[9 + i];
    }
    o[12] = m[12] * mk[12];
    below.next = 0;
    x = o[9];
    y = o[10];
    z = o[11];
    meanSquare = square / 3;
    measure = o[12];
    return true;
}
