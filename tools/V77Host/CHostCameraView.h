// The day demo's view: a renderer that draws nothing but names every frame
// it is handed, by the camera packet the frame carries (the ffmpeg camera's
// packet list knows each by its checksum), and keeps the frame's media time.
// It shows a frame as it arrives: live, the buffer paces; in playback, too.
#pragma once

#include <mutex>
#include <vector>
#include "framework/CBaseRenderer.h"

class CCameraReference;

class CHostCameraView : public CBaseRenderer {
public:
    struct Shown {
        int frame;             // the camera frame, -1 when the bytes are none of its packets
        REFERENCE_TIME media;  // the sample's media start, -1 without one
    };

    // One reference (adopt it); null without memory. camera outlives the view.
    static CHostCameraView* Create(const CCameraReference* camera);
    IBaseFilter* Filter() { return static_cast<IBaseFilter*>(this); }

    std::vector<Shown> Frames() const;
    // The last frame shown; false before the first.
    bool Last(Shown* shown) const;
    void Clear();

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT DoRenderSample(IMediaSample* sample) override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;

private:
    CHostCameraView(const CCameraReference* camera, HRESULT* phr);

    const CCameraReference* m_pCamera;
    mutable std::mutex m_Lock;
    std::vector<Shown> m_Frames;
};
