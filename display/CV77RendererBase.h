// Common base of the module's video renderers. Every sample is drawn on
// arrival; the frame on screen is kept (a pooled sample by reference, any
// other sample as a copy) so that setting changes and repaints can draw it
// again. Owns the brightness, contrast and field settings and the pixel
// adjustment routines of the processor's best build.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <wrl/client.h>

#include "companions/V77Sync/CV77CriticalSection.h"
#include "framework/CBaseRenderer.h"
#include "framework/CMediaType.h"
#include "kernels/PixelAdjust.h"
#include "v77/IV77DxRenderer.h"
#include "v77/IV77SamplePool.h"

class CV77RendererBase : public CBaseRenderer, public IV77DxRenderer {
public:
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77DxRenderer, the two methods every renderer shares.
    STDMETHODIMP SetBrightnessContrast(double brightness, double contrast) override;
    STDMETHODIMP SetDeinterlaceMode(long mode) override;

    // IMediaFilter
    STDMETHODIMP Stop() override;

    // CBaseRenderer
    CBasePin* GetPin(int n) override;
    HRESULT WaitForRenderTime() override;
    HRESULT ShouldDrawSampleNow(IMediaSample* sample, REFERENCE_TIME* start, REFERENCE_TIME* end) override;
    HRESULT OnReceiveFirstSample(IMediaSample* sample) override;
    HRESULT ClearPendingSample() override;
    // Takes the sample as the frame on screen and draws it. S_FALSE, with
    // nothing drawn and the previous frame kept, when the renderer is not
    // ready or the sample carries less data than one image; the input pin's
    // Receive still succeeds, so one bad frame does not stop a live stream.
    HRESULT DoRenderSample(IMediaSample* sample) override;
    HRESULT CheckMediaType(const CMediaType* mt) override;
    // Fixes the image size and makes the scratch and copy frames. Throws
    // CHresultError; the input pin catches at its boundary.
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT BeginFlush() override;

    // Draws this frame (called with m_FrameLock held).
    virtual void RenderFrame(IV77PoolItem* frame) = 0;
    // Whether the renderer can draw now; samples are dropped otherwise.
    virtual bool IsReadyToRender() = 0;
    virtual void ReleaseCurrentFrame();
    virtual void Repaint();

protected:
    CV77RendererBase(const TCHAR* name, LPUNKNOWN outer, REFCLSID clsid, HRESULT* phr);
    ~CV77RendererBase() override;

    // A stand-alone pool item of at least bytes bytes; throws CHresultError.
    static Microsoft::WRL::ComPtr<IV77PoolItem> CreatePoolItem(DWORD bytes);
    // Copies sample into m_pCopyFrame and makes that the current frame;
    // call with m_FrameLock held. A sample longer than the copy frame gets a
    // larger copy frame: a new object, so that a drawing still holding the
    // old one keeps reading valid memory.
    HRESULT CopyToOwnFrame(IMediaSample* sample);
    // Bytes of one input image, as the connection type describes it.
    DWORD FrameBytes() const { return m_FrameBytes; }
    bool HasMediaType() const { return m_MediaType.IsValid() != FALSE; }
    bool IsAdjustmentNeutral() const { return m_Brightness == 0 && m_Gain == 256 && !m_bLineDouble; }

    using AdjustImageFn = void (CV77RendererBase::*)(const BYTE* src, BYTE* dst, int dstPitch);
    using AdjustRowsFn = void (CV77RendererBase::*)(const BYTE* src, BYTE* dst, int dstPitch, int rowBytes,
                                                    int rows);

    static constexpr int kMaxSubtypes = 6;

    CMediaType m_MediaType;
    LONG m_Width;
    LONG m_Height;
    DWORD m_BitCount;
    bool m_bBottomUp;
    AdjustImageFn m_AdjustYuy2;
    AdjustRowsFn m_AdjustLuma;
    AdjustImageFn m_AdjustChroma;
    AdjustImageFn m_AdjustRgb565;
    GUID m_Subtypes[kMaxSubtypes];
    int m_SubtypeCount;
    // Written by host calls while frames are drawn on other threads.
    std::atomic<int16_t> m_Brightness;
    std::atomic<int16_t> m_Gain;
    CV77CriticalSection m_FrameLock;
    Microsoft::WRL::ComPtr<IV77PoolItem> m_pCurrent;
    Microsoft::WRL::ComPtr<IV77PoolItem> m_pCopyFrame;
    std::atomic<bool> m_bLineDouble;
    std::atomic<bool> m_bDeinterlace;
    std::atomic<bool> m_bDrawnInPause{false};  // the pending sample was drawn by the pause
    Microsoft::WRL::ComPtr<IV77PoolItem> m_pScratch;
    uint16_t m_DeinterlaceWeight;

private:
    template <const V77PixelAdjustRoutines& Build>
    void AdjustYuy2With(const BYTE* src, BYTE* dst, int dstPitch);
    template <const V77PixelAdjustRoutines& Build>
    void AdjustLumaWith(const BYTE* src, BYTE* dst, int dstPitch, int rowBytes, int rows);
    template <const V77PixelAdjustRoutines& Build>
    void AdjustChromaWith(const BYTE* src, BYTE* dst, int dstPitch);
    template <const V77PixelAdjustRoutines& Build>
    void AdjustRgb565With(const BYTE* src, BYTE* dst, int dstPitch);
    template <const V77PixelAdjustRoutines& Build>
    void UseAdjustBuild();
    void ChooseAdjustBuild();

    // Takes the sample as the current frame; false when it cannot be shown.
    bool TakeFrame(IMediaSample* sample);

    DWORD m_FrameBytes;
};
