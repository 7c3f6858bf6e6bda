#include "tools/V77Host/CHostProgress.h"

#include <cstdio>

CHostProgress::CHostProgress(const char* label)
    : m_Label(label), m_Start(GetTickCount64()), m_LastLine(m_Start)
{
}

void CHostProgress::Update(const HostFigures& figures)
{
    const ULONGLONG now = GetTickCount64();
    if (now - m_LastLine < 1000)
        return;
    const double rate = (figures.frames - m_LastFrames) * 1000.0 / static_cast<double>(now - m_LastLine);
    m_LastLine = now;
    m_LastFrames = figures.frames;
    Print(figures, rate, "");
}

void CHostProgress::Finish(const HostFigures& figures)
{
    const ULONGLONG elapsed = GetTickCount64() - m_Start;
    Print(figures, elapsed ? figures.frames * 1000.0 / static_cast<double>(elapsed) : 0.0, "total ");
}

void CHostProgress::Print(const HostFigures& figures, double rate, const char* prefix)
{
    char buffer[48] = "buffer -";
    if (figures.bufferFill >= 0)
        std::snprintf(buffer, sizeof(buffer), "buffer %ld/%ld", figures.bufferFill, figures.bufferCapacity);
    std::printf("%s: %s%ld frames, %.1f frames/s, %ld dropped, %s\n", m_Label.c_str(), prefix, figures.frames, rate,
                figures.dropped, buffer);
    std::fflush(stdout);
}
