// Host interfaces of the overlay, image, network and AVI file renderers, and
// the image source the network renderer offers to the stream server.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"
#include "V77Types.h"

// The host paints the overlay state on its own device context, from any thread.
struct IV77DsOverlayRenderer : public IUnknown {
    // src selects the part of the overlay's coordinate space mapped onto dst.
    virtual HRESULT STDMETHODCALLTYPE Draw(HDC hdc, const RECT* dst, const RECT* src) = 0;       // 3
    // S_OK when a sample arrived since the last Draw, else S_FALSE.
    virtual HRESULT STDMETHODCALLTYPE IsModified() = 0;                                          // 4
    virtual HRESULT STDMETHODCALLTYPE SetSensorName(BSTR name) = 0;                              // 5
    // Rebuilds the drawing object for the connected subtype.
    virtual HRESULT STDMETHODCALLTYPE CreateOverlay() = 0;                                       // 6
    virtual HRESULT STDMETHODCALLTYPE DrawInfo(HDC hdc, const RECT* rc) = 0;                     // 7
};

// Hands every frame to a host sink (an IV77ImageSink, held without a reference).
struct IV77DsImageRenderer : public IUnknown {
    // value lands at offset 8 of the stream description.
    virtual HRESULT STDMETHODCALLTYPE SetSink(IUnknown* sink, DWORD value) = 0;                  // 3
    // null clears it.
    virtual HRESULT STDMETHODCALLTYPE SetRequiredType(const AM_MEDIA_TYPE* mt) = 0;              // 4
    virtual HRESULT STDMETHODCALLTYPE GetSourceInformation(SOURCE_INFORMATION* info) = 0;        // 5
    // Slot 6 of the input allocator's sample pool; E_FAIL when it gives 0.
    virtual HRESULT STDMETHODCALLTYPE GetPoolEntry(DWORD arg, DWORD* value) = 0;                 // 6
    // The caller frees the copy.
    virtual HRESULT STDMETHODCALLTYPE GetConnectedType(AM_MEDIA_TYPE* mt) = 0;                   // 7
    // Used by the input pin created after the call.
    virtual HRESULT STDMETHODCALLTYPE SetSamplePool(IUnknown* pool) = 0;                         // 8
};

// Host wiring of the network renderer to a stream server (an IV77StreamServer).
struct IV77DsNetworkRenderer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetClockSync(BOOL sync) = 0;                               // 3
    virtual HRESULT STDMETHODCALLTYPE Publish(DWORD a, DWORD b, IUnknown* server) = 0;           // 4
    virtual HRESULT STDMETHODCALLTYPE SetSourceInformation(const SOURCE_INFORMATION* info) = 0;  // 5
    virtual HRESULT STDMETHODCALLTYPE PushSample(IMediaSample* s) = 0;                           // 6
};

// What the stream server sees of the network renderer. The ReservedN slots are
// server calls the renderer does not serve (S_OK for 7, E_NOTIMPL for the rest);
// their arguments are ignored.
struct IV77ImageSource : public IUnknown {
    // sink: an IV77StreamSink, one at a time, held without a reference; *cookie = 0.
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) = 0;                 // 3
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;                                // 4
    virtual HRESULT STDMETHODCALLTYPE GetSourceInformation(SOURCE_INFORMATION* info) = 0;        // 5
    virtual HRESULT STDMETHODCALLTYPE GetAverageSampleSize(double* size) = 0;                    // 6
    virtual HRESULT STDMETHODCALLTYPE Reserved7(DWORD a) = 0;                                    // 7
    virtual HRESULT STDMETHODCALLTYPE Reserved8(DWORD a, DWORD b, DWORD c) = 0;                  // 8
    virtual HRESULT STDMETHODCALLTYPE Reserved9(DWORD a) = 0;                                    // 9
    virtual HRESULT STDMETHODCALLTYPE Reserved10(DWORD a) = 0;                                   // 10
    virtual HRESULT STDMETHODCALLTYPE Reserved11(DWORD a, DWORD b, DWORD c, DWORD d, DWORD e) = 0;  // 11
    // The caller frees the copy.
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* mt) = 0;                       // 12
    virtual HRESULT STDMETHODCALLTYPE Reserved13(DWORD a) = 0;                                   // 13
};

struct IV77DsAviFileRenderer : public IUnknown {
    // Closes the current file; a null or empty name only closes.
    virtual HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR fileName, LPCWSTR streamName) = 0;     // 3
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77DsOverlayRenderer, 0x66FC512B, 0x0CC0, 0x4AEC, 0x82, 0x6E, 0xC4, 0x75, 0x72, 0xD1, 0x19, 0xE1)
__CRT_UUID_DECL(IV77DsImageRenderer, 0xCCC32F40, 0xC374, 0x452E, 0x98, 0x5D, 0xF9, 0x47, 0xBF, 0xCC, 0xA2, 0xD4)
__CRT_UUID_DECL(IV77DsNetworkRenderer, 0xA0D394B0, 0xE0B0, 0x43B0, 0xB7, 0xAB, 0x9D, 0x96, 0xB3, 0x1B, 0xC9, 0x92)
__CRT_UUID_DECL(IV77ImageSource, 0xD69ADEB2, 0x4E0C, 0x4098, 0x99, 0xD9, 0xA7, 0x16, 0xFE, 0x4F, 0x56, 0x55)
__CRT_UUID_DECL(IV77DsAviFileRenderer, 0x7A08B67F, 0x7C52, 0x4C09, 0xA6, 0xF2, 0x01, 0x92, 0x3F, 0xBD, 0xE3, 0x71)
#endif
