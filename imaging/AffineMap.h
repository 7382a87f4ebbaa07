#pragma once
// Affine maps of space: the parameter form the user edits (angles, ratios,
// fixed point, measure), the matrix form the builders compute with, and the
// operations on sets of them.

#include <cstdint>
#include <string>

// 17 doubles. Parameter form: 0-2 left polar, axial and rotation angle,
// 3-5 ratios x, y, z, 6-8 right angles, 9-11 fixed point, 12 measure.
// Matrix form: 0-8 the matrix row by row, 9-11 the translation, 12 measure.
// 13-16 are spare in both.
struct AffineMap {
    double m[17];
};
static_assert(sizeof(AffineMap) == 17 * sizeof(double));

struct MapSet {
    static constexpr int kMaxMaps = 25;
    int32_t count = 0;
    AffineMap maps[kMaxMaps] = {};
    // The count limited to 0..kMaxMaps, for anything that indexes the maps.
    int Count() const { return count < 0 ? 0 : count > kMaxMaps ? kMaxMaps : count; }
};

// One level of a depth-first walk over compositions of maps.
struct CompositionLevel {
    double map[13];   // matrix form of the composition, measure in [12]
    double values[3]; // kept by the builder
    int32_t next = 0; // the next map to compose at this level
    int32_t box[4];   // kept by the builder
};

// Left-multiplies a matrix-form map by R(polar, axial, angle), then sets the
// matrix and translation elements below 1e-16 in magnitude to exactly 0.
void Rotate(AffineMap& map, double polar, double axial, double angle);
// The rotation applied to a point.
void RotatePoint(double p[3], double polar, double axial, double angle);
void SetTranslation(AffineMap& map, double x, double y, double z);
void MakeMap(AffineMap& map, double ratio, double polar, double axial, double angle, double fx, double fy, double fz);
// A similarity of the x-y plane turning counter-clockwise by `angle` about (fx, fy).
void MakePlanarMap(AffineMap& map, double ratio, double angle, double fx, double fy);
// Parameter form to matrix form, in place.
void ToMatrix(AffineMap& map);
// Turns every matrix-form map of the set into R M R^-1, R t: the attractor
// turns by R.
void Conjugate(MapSet& set, double polar, double axial, double angle);
// Measures summing to 1, centroid of the measure at the origin, radius 1.
// Returns false and leaves the set unchanged when the maps cannot be
// normalised: measures that do not sum to a positive number, a map that
// does not contract, or no invariant centroid; `why` then gets the reason,
// naming the map at fault where there is one.
bool Normalise(MapSet& set, std::string* why = nullptr);
// Sets every measure to the map's share of the similarity dimension and
// returns that dimension. With no maps, or maps that do not all contract,
// it returns 0 and gives every map the same measure.
double SimilarityDimension(MapSet& set);
// Composes the level's next map into `below`; false when all were tried.
bool ComposeNext(const MapSet& set, CompositionLevel& level, CompositionLevel& below, double& x, double& y, double& z,
                 double& meanSquare, double& measure);
// The largest stretch of a parameter-form map (its rotations keep lengths).
double MapNorm(const AffineMap& map);
