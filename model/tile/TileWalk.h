#pragma once
// The depth-first walk that plots a tile's points (used by CTileSet::Draw).

#include <atomic>
#include <cstdint>
#include <vector>

#include "model/tile/TileSet.h"

class CCanvas;

enum class TileWalkResult { kDone, kStopped, kBadSymmetry };

// Plots the |digits|^deep points of the tile into the canvas's 32-bit pixels
// (centred on its buffer, and never outside it),
// each in the colour of its first-level digit. Subtrees that cannot reach
// the canvas are skipped, so deep tiles far larger than the view still end.
TileWalkResult WalkTile(CCanvas& canvas, const std::atomic<bool>& stop, int deep, const TileNormalForm& form,
                        const std::vector<TileMatrix>& group, const std::vector<TilePoint>& digits,
                        const std::vector<int>& symmetry, const std::vector<uint32_t>& colors, uint64_t& visited);
