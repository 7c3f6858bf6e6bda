// The drawing object of a "SEN2" connection: polylines drawn into a canvas of
// the video's size when a sample arrives (blitted by Draw with black
// transparent), and a small picture of the module's resources with text
// lines of its string table (painted by DrawInfo).
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "sinks/CRendererBase.h"

class CPolygon : public CRendererBase {
public:
    // Throws CWin32Error when the canvas cannot be made.
    CPolygon(int width, int height);
    ~CPolygon() override;
    CPolygon(const CPolygon&) = delete;
    CPolygon& operator=(const CPolygon&) = delete;

    void Draw(HDC hdc, const RECT* dst, const RECT* src, const std::string& name) override;
    void DrawInfo(HDC hdc, const RECT* rc, const std::string& name) override;
    void SetSample(IMediaSample* sample) override;

    const std::vector<std::wstring>& Lines() const { return m_Lines; }
    bool HasPicture() const { return m_hPicture != nullptr; }

private:
    void LoadPicture(uint32_t id);
    void DrawLines(HDC hdc, const RECT& rc, int fontHeight);

    int m_Width;
    int m_Height;
    HBITMAP m_hCanvas = nullptr;
    HBITMAP m_hPicture = nullptr;
    HDC m_hCanvasDC = nullptr;
    HGDIOBJ m_hCanvasPrevious = nullptr;
    HFONT m_hFont = nullptr;
    int m_FontHeight = 0;
    HMODULE m_hModule;
    std::vector<std::wstring> m_Lines;
};
