// The overlay renderer's drawing object: the state of the latest overlay
// sample and how it is painted. Called under the renderer's lock only.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>

class CRendererBase {
public:
    virtual ~CRendererBase() = default;
    // The main marks; src selects the part of the overlay's own coordinate
    // space mapped onto dst (null or empty: all of it).
    virtual void Draw(HDC hdc, const RECT* dst, const RECT* src, const std::string& name) = 0;
    // The information layer (gauge, picture and text lines) inside rc.
    virtual void DrawInfo(HDC hdc, const RECT* rc, const std::string& name) = 0;
    // Takes a new sample; it stays valid only during the call.
    virtual void SetSample(IMediaSample* sample) = 0;
};
