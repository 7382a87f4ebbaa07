#include "model/Samples.h"

#include <cmath>
#include <new>

#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kTwoSqrt2 = 2.8284271247461903;
constexpr double kKochTilt = 70.52877936550931; // atan(2 sqrt 2) in degrees

void Blank(AffineMap& map)
{
    for (double& v : map.m)
        v = 0;
    map.m[0] = 1;  // left polar angle
    map.m[4] = 1;  // ratio y
    map.m[8] = 1;  // right rotation angle
    map.m[12] = 1; // measure
}

void Space(AffineMap& map, double ratio, double x, double y, double z) { MakeMap(map, ratio, 0, 0, 0, x, y, z); }

// Maps of ratio 1/3 at the points of the 3x3x3 cube that `keep` accepts.
template <class Keep>
int CubeMaps(MapSet& set, Keep keep)
{
    int n = 0;
    for (int i = -1; i <= 1; ++i)
        for (int j = -1; j <= 1; ++j)
            for (int k = -1; k <= 1; ++k)
                if (keep(std::abs(i) + std::abs(j) + std::abs(k)))
                    Space(set.maps[n++], 1.0 / 3, i, j, k);
    return n;
}

// Map u of the self-affine pyramid is (I + v v^T) / 6 about the corner v:
// it shrinks to 2/3 along v and to 1/6 across. As angles and ratios: a left
// rotation that takes v to +x, ratios (2/3, 1/6, 1/6), and the inverse
// rotation on the right.
void PyramidMap(AffineMap& map, double vx, double vy, double vz)
{
    const double len = std::sqrt(vx * vx + vy * vy + vz * vz);
    const double e[3] = {vx / len, vy / len, vz / len};
    // Axis e x (1, 0, 0) = (0, e_z, -e_y); the turn by acos(e_x) about it
    // takes e to +x. Rotate turns by minus its angle about its axis.
    double ax[3] = {0, e[2], -e[1]};
    const double al = std::sqrt(ax[1] * ax[1] + ax[2] * ax[2]);
    for (double& v : ax)
        v /= al;
    const double polar = std::atan2(ax[1], ax[0]) / 0.017453292519943295;
    const double axial = std::asin(ax[2]) / 0.017453292519943295;
    const double turn = std::acos(e[0]) / 0.017453292519943295;
    map.m[0] = polar;
    map.m[1] = axial;
    map.m[2] = -turn;
    map.m[3] = 2.0 / 3;
    map.m[4] = map.m[5] = 1.0 / 6;
    map.m[6] = polar;
    map.m[7] = axial;
    map.m[8] = turn;
    map.m[9] = vx;
    map.m[10] = vy;
    map.m[11] = vz;
}

void SetMaps(CSelfAffineSet& f, int index)
{
    MapSet& s = f.m_maps;
    AffineMap* m = s.maps;
    switch (index) {
    case 0:
        f.m_name = "Sierpinsky Triangle";
        s.count = 3;
        MakePlanarMap(m[0], 0.5, 0, 0, 2);
        MakePlanarMap(m[1], 0.5, 0, kSqrt3, -1);
        MakePlanarMap(m[2], 0.5, 0, -kSqrt3, -1);
        break;
    case 1:
        f.m_name = "Koch Curve";
        s.count = 2;
        MakePlanarMap(m[0], 0.5773502691896257, 150, -1, 0);
        MakePlanarMap(m[1], 0.5773502691896257, -150, 1, 0);
        break;
    case 2:
        f.m_name = "Levy Curve";
        s.count = 2;
        MakePlanarMap(m[0], 0.7071067811865476, 45, -1, 0);
        MakePlanarMap(m[1], 0.7071067811865476, -45, 1, 0);
        break;
    case 3:
        f.m_name = "Dragon Set";
        s.count = 2;
        MakePlanarMap(m[0], 0.7071067811865476, 45, -1, 0);
        MakePlanarMap(m[1], 0.7071067811865476, 135, 1, 0);
        break;
    case 4:
    case 10:
        f.m_name = "Sierpinsky Pyramid";
        s.count = 4;
        Space(m[0], 0.5, -kSqrt3, -1, 0);
        Space(m[1], 0.5, kSqrt3, -1, 0);
        Space(m[2], 0.5, 0, 2, 0);
        Space(m[3], 0.5, 0, 0, kTwoSqrt2);
        break;
    case 5:
        f.m_name = "Sierpinsky Cube";
        s.count = CubeMaps(s, [](int sum) { return sum > 1; });
        break;
    case 6: {
        f.m_name = "Koch Surface";
        s.count = 6;
        const double left[3][3] = {{120, 0, -kKochTilt}, {60, 0, kKochTilt}, {0, 0, -kKochTilt}};
        const double fixed[3][2] = {{-kSqrt3, -1}, {kSqrt3, -1}, {0, 2}};
        for (int k = 0; k < 3; ++k) {
            double* v = m[k].m;
            v[0] = left[k][0];
            v[1] = left[k][1];
            v[2] = left[k][2];
            v[3] = v[4] = v[5] = 0.5;
            v[6] = 0;
            v[7] = -90;
            v[8] = -180;
            v[9] = fixed[k][0];
            v[10] = fixed[k][1];
            v[11] = 0;
            MakePlanarMap(m[k + 3], 0.5, 0, fixed[k][0], fixed[k][1]);
        }
        break;
    }
    case 7:
    case 11:
        f.m_name = "Cross 3d";
        s.count = CubeMaps(s, [](int sum) { return sum % 3 == 0; });
        break;
    case 8:
        f.m_name = "Self-Affine Pyramyd";
        s.count = 4;
        PyramidMap(m[0], 1, 1, 1);
        PyramidMap(m[1], -1, -1, 1);
        PyramidMap(m[2], 1, -1, -1);
        PyramidMap(m[3], -1, 1, -1);
        break;
    default:
        f.m_name = "Segment";
        s.count = 2;
        Space(m[0], 0.5, -1, 0, 0);
        Space(m[1], 0.5, 1, 0, 0);
        break;
    }
}

void SetView(CSelfAffineSet& f, int index)
{
    auto view = [&](double z, double half, double polar, double axial, double angle) {
        f.m_centerX = f.m_centerY = 0;
        f.m_centerZ = z;
        f.m_halfSize = half;
        f.m_polarAngle = polar;
        f.m_axialAngle = axial;
        f.m_rotationAngle = angle;
    };
    switch (index) {
    case 0:
    case 1:
    case 2:
    case 3: view(0, 1.0, 0, 0, 0); break;
    case 4: view(-1, 0.5, 45, 45, 36); break;
    case 10: view(0, 1.0, 45, 45, 36); break;
    case 5:
        view(-1, 0.5, 45, 45, 45);
        f.m_power = 3.0;
        f.m_levelValue = 30.0;
        break;
    case 6: view(-1, 0.5, 0, 0, 0.8); break;
    case 7: view(-1, 0.5, 45, 45, 45); break;
    case 11: view(0, 1.0, 45, 45, 45); break;
    case 8:
        view(-1, 0.5, 45, 45, 45);
        f.m_power = 3.0;
        break;
    default: view(-1, 0.5, 45, 45, 45); break;
    }
}

} // namespace

std::unique_ptr<CFractal> MakeSample(int index)
{
    if (index == 12)
        return std::unique_ptr<CFractal>(new (std::nothrow) CMandelbrotSet);
    if (index < 0)
        index = 0;
    std::unique_ptr<CSelfAffineSet> f(new (std::nothrow) CSelfAffineSet);
    if (!f)
        return nullptr;
    f->m_centerX = f->m_centerY = 0;
    f->m_centerZ = -1;
    f->m_halfSize = 0.5;
    f->m_threeD = index >= 4 && index <= 9 ? 1 : 0;
    for (AffineMap& map : f->m_maps.maps)
        Blank(map);
    SetMaps(*f, index);
    SetView(*f, index);
    f->m_dimension = SimilarityDimension(f->m_maps);
    return f;
}
