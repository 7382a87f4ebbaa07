#pragma once
// The computed-data file (".fdt") of a self-affine set, solid or plane:
// grid size, the rows in binary passes, then the hit cells column by column.

#include <functional>
#include <iosfwd>
#include <string>

#include "document/FileReplacement.h"

class CCanvas;
class CFractal;

// False unless the fractal is a self-affine set whose hits can all be
// stored (`why` says why not).
bool WriteDataFile(std::ostream& out, CFractal& fractal, std::string* why = nullptr);
// The whole file is checked before anything outside `fractal` changes:
// `sized(w, h)` is called then, before the canvas and the grid are touched.
// The set's name comes from the file when it carries one. Renders into the
// canvas at the end.
bool ReadDataFile(std::istream& in, CFractal& fractal, CCanvas& canvas,
                  const std::function<void(unsigned, unsigned)>& sized, std::string& error);
bool SaveDataFile(const std::string& path, CFractal& fractal, std::string& error, const ReplaceGate& gate = {});
// A file without a name gives the set the file's own (without extension).
bool OpenDataFile(const std::string& path, CFractal& fractal, CCanvas& canvas,
                  const std::function<void(unsigned, unsigned)>& sized, std::string& error);
