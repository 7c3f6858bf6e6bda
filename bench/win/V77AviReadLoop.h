// What AVIStreamRead alone costs: the live AVI receiver's file read (the
// size, then the frame), looped over a file's frames back to back, so the
// live benchmarks can tell the read from the graph around it.
#pragma once

#include <windows.h>
#include <string>

struct V77AviReadFigures {
    long frames = 0;
    double seconds = 0;
    LONGLONG cpu100ns = 0;  // process CPU time over the loop
};

// The process's kernel + user time so far.
LONGLONG V77ProcessCpu100ns();
// Reads the first video stream of path for windowMs; no frames when it cannot be read.
V77AviReadFigures V77ReadAviFramesFor(const std::wstring& path, DWORD windowMs);
