#pragma once
// The files a headless render writes at its end, each put in place only
// while no signal or time limit has stopped the run.

#include <functional>
#include <string>
#include <vector>

#include "document/FileReplacement.h"

class HeadlessWatch;

struct OutputFile {
    std::string path;
    // Writes the file whole, putting it in place through `gate`.
    std::function<bool(const ReplaceGate& gate, std::string& error)> write;
};

// Writes the files in order and returns the exit code: 0 when all are in
// place and nothing stopped the run; the watch's code when a stop came
// before the last was in place (one line naming those written, and the
// one being written when it came left as it was); 1 when one could not be
// written (its line, the rest not written).
int WriteOutputFiles(const std::vector<OutputFile>& files, HeadlessWatch& watch);

// The line of a stopped run, naming the files written before the stop.
void ReportStop(const HeadlessWatch& watch, const std::vector<std::string>& written);
