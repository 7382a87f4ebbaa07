#pragma once
// `quillion --render ...`: builds one document without a display and
// writes its image, document file or computed data.

// True when the command line asks for the headless renderer.
bool WantsHeadlessRender(int argc, char** argv);
// Runs it; returns the process exit code (0 done, 1 file error, 2 usage).
int RunHeadlessRender(int argc, char** argv);
