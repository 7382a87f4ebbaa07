#include "app/HeadlessOutputs.h"

#include <cstdio>

#include "app/HeadlessWatch.h"

void ReportStop(const HeadlessWatch& watch, const std::vector<std::string>& written)
{
    std::string files;
    for (const std::string& path : written)
        files += (files.empty() ? "" : ", ") + path;
    std::fprintf(stderr, "quillion: %s; %s\n", watch.Message().c_str(),
                 written.empty() ? "nothing was written" : ("written before it: " + files).c_str());
}

int WriteOutputFiles(const std::vector<OutputFile>& files, HeadlessWatch& watch)
{
    std::vector<std::string> written;
    const ReplaceGate gate = watch.Gate();
    for (const OutputFile& file : files) {
        if (watch.Stopped())
            break;
        std::string error;
        if (!file.write(gate, error)) {
            if (watch.Stopped())
                break;
            std::fprintf(stderr, "quillion: %s\n", error.c_str());
            return 1;
        }
        written.push_back(file.path);
    }
    // A signal held off while the last file went in place counts too: it
    // was sent before the work was done.
    if (!watch.Stopped())
        return 0;
    ReportStop(watch, written);
    return watch.ExitCode();
}
