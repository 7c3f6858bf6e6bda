// The progress line of long host work, printed at most once a second:
// "view: 125 frames, 25.0 frames/s, 0 dropped, buffer 3/10".
#pragma once

#include <windows.h>
#include <string>

struct HostFigures {
    long frames = 0;
    long dropped = 0;
    long bufferFill = -1;  // frames queued; -1 unknown
    long bufferCapacity = -1;
};

class CHostProgress {
public:
    explicit CHostProgress(const char* label);

    // Prints when a second has passed since the last line.
    void Update(const HostFigures& figures);
    // The closing line with the figures over the whole run.
    void Finish(const HostFigures& figures);

private:
    void Print(const HostFigures& figures, double rate, const char* prefix);

    std::string m_Label;
    ULONGLONG m_Start;
    ULONGLONG m_LastLine;
    long m_LastFrames = 0;
};
