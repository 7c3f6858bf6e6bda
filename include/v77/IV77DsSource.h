// Host and receiver interfaces of the live, archive, push and window spy sources.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"
#include "V77Types.h"

// Stream description shared by the live and the archive sources.
struct IV77DsSourceBase : public IUnknown {
    // Deep copy; the caller frees the format block (CoTaskMemFree).
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* pmt) = 0;                      // 3
    virtual HRESULT STDMETHODCALLTYPE GetSourceInformation(SOURCE_INFORMATION* info) = 0;        // 4
};

// Host control of a live source. Open and Reconnect need a stopped graph
// (Reconnect also a paused one); the rest may be called at any time.
struct IV77DsNetworkSource : public IV77DsSourceBase {
    // S_OK: the receiver connected; S_FALSE: it did not and *info (width set) was used instead.
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR source1, BSTR source2, WORD streamParameter,
                                          DWORD openValue, WORD openWord,
                                          SOURCE_INFORMATION* info) = 0;                         // 5
    virtual HRESULT STDMETHODCALLTYPE GetBitRate(double* bitsPerSecond) = 0;                     // 6
    virtual HRESULT STDMETHODCALLTYPE SetStreamParameter(WORD value) = 0;                        // 7
    virtual HRESULT STDMETHODCALLTYPE SetUseOwnAllocator(BOOL own) = 0;                          // 8
    // Fails with V77_E_STREAM_CHANGED when the receiver now describes another stream.
    virtual HRESULT STDMETHODCALLTYPE Reconnect() = 0;                                           // 9
    // index 0: primary output, 1: secondary output.
    virtual HRESULT STDMETHODCALLTYPE EnableOutput(int index, BOOL enable) = 0;                  // 10
    virtual HRESULT STDMETHODCALLTYPE SetTimeParameter(double seconds) = 0;                      // 11
    virtual HRESULT STDMETHODCALLTYPE EnableDisplayNotification(BOOL on) = 0;                    // 12
};

// Callback a live receiver gets in its Open; called on the receiver's threads.
// It has no identifier of its own: the filter hands the pointer over, nobody queries for it.
struct IV77RTPReceiverEvents : public IUnknown {
    // context: an object the receiver wants to travel with the sample (local source only).
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(IUnknown* context, IMediaSample** ppSample) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE OnSample(IMediaSample* pSample) = 0;                       // 4
    virtual HRESULT STDMETHODCALLTYPE OnStreamEventA() = 0;                                      // 5
    virtual HRESULT STDMETHODCALLTYPE OnStreamEventB() = 0;                                      // 6
};

// Forwarded unchanged to the TCP receivers (live and archive); the values are theirs.
struct IV77TcpReceiver : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Configure(DWORD a, double b, DWORD c) = 0;                 // 3
};

// Forwarded unchanged to the AVI file receiver.
struct IV77DsAviSource : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Configure(DWORD a, DWORD b) = 0;                           // 3
};

// Host control of an archive source.
struct IV77DsARCSource : public IV77DsSourceBase {
    // Stopped only. playOption non-zero makes the receiver's play option 0xFFFF.
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR source1, BSTR source2, BOOL playOption,
                                          SOURCE_INFORMATION* info) = 0;                         // 5
    // Pass-throughs to the auxiliary object's slots 7, 9 and 8 (in that order of methods).
    virtual HRESULT STDMETHODCALLTYPE AuxiliaryCommand1(DWORD a, DWORD b) = 0;                   // 6
    virtual HRESULT STDMETHODCALLTYPE AuxiliaryCommand2(DWORD a, DWORD b) = 0;                   // 7
    virtual HRESULT STDMETHODCALLTYPE AuxiliaryCommand3(DWORD a, DWORD b) = 0;                   // 8
    virtual HRESULT STDMETHODCALLTYPE SetAutoRestart(BOOL on) = 0;                               // 9
    virtual HRESULT STDMETHODCALLTYPE SetPlayOption(BOOL on) = 0;                                // 10
    virtual HRESULT STDMETHODCALLTYPE GetBitRate(double* bitsPerSecond) = 0;                     // 11
    virtual HRESULT STDMETHODCALLTYPE SetUseOwnAllocator(BOOL own) = 0;                          // 12
    // The archive receiver's IUnknown, with a reference.
    virtual HRESULT STDMETHODCALLTYPE GetReceiver(IUnknown** ppUnk) = 0;                         // 13
};

// Callback of the archive source's output pin; called on the archive receiver's thread.
struct IV77ARCReceiverEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(IUnknown* context, IMediaSample** ppSample) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE OnSample(IMediaSample* pSample) = 0;                       // 4
    // The receiver stopped reading: S_OK at the end of what it was asked for.
    virtual HRESULT STDMETHODCALLTYPE OnPlaybackEnd(HRESULT status, LONG frameCount, DWORD reserved,
                                                    REFERENCE_TIME next) = 0;                    // 5
    // Blocks until the buffer downstream needs the next stretch.
    virtual HRESULT STDMETHODCALLTYPE OnRequest(REFERENCE_TIME* position, DWORD* type,
                                                WORD* playOption) = 0;                           // 6
};

// Allocator modes of IV77PushSource::SetFormat.
enum : DWORD {
    V77_PUSH_DOWNSTREAM_ALLOCATOR = 0,
    V77_PUSH_OWN_ALLOCATOR = 1,
};

// Host-fed source: the host fills samples itself and pushes them.
struct IV77PushSource : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(const AM_MEDIA_TYPE* pmt, DWORD allocatorMode) = 0;  // 3
    // A preroll sample is kept as header and put in front of every later sync point.
    virtual HRESULT STDMETHODCALLTYPE PushSample(IMediaSample* pSample) = 0;                     // 4
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(IUnknown* context, IMediaSample** ppSample) = 0; // 5
    virtual HRESULT STDMETHODCALLTYPE EndOfStream() = 0;                                         // 6
};

// Capture parameters of the window spy source.
struct IV77WindowSpy : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetSize(const SIZE* size) = 0;                             // 3
    // area null or empty: the whole client area.
    virtual HRESULT STDMETHODCALLTYPE SetWindow(HWND hwnd, const RECT* area, LONG intervalMs) = 0;  // 4
    virtual HRESULT STDMETHODCALLTYPE EnableTimeStamps(BOOL on) = 0;                             // 5
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77DsSourceBase, 0x421FAE8D, 0x6B18, 0x4167, 0x8A, 0x16, 0xC1, 0x1B, 0x99, 0x67, 0xF7, 0x5D)
__CRT_UUID_DECL(IV77DsNetworkSource, 0x4D0EBAB9, 0x7B1A, 0x4DC9, 0xBB, 0xD6, 0x7B, 0x55, 0x4C, 0x46, 0x54, 0x96)
__CRT_UUID_DECL(IV77TcpReceiver, 0x68697211, 0xA7FF, 0x4F30, 0xB4, 0x84, 0x7A, 0x12, 0xC6, 0xE4, 0x5D, 0x7F)
__CRT_UUID_DECL(IV77DsAviSource, 0xB09575CC, 0xF735, 0x438E, 0xA4, 0x83, 0x52, 0x34, 0x2E, 0x91, 0xD9, 0xC7)
__CRT_UUID_DECL(IV77DsARCSource, 0xED7992C7, 0x406C, 0x41C0, 0x92, 0xFB, 0xEF, 0x6F, 0xC4, 0x88, 0xD1, 0x86)
__CRT_UUID_DECL(IV77ARCReceiverEvents, 0x71FDE85B, 0x9C6D, 0x4B5E, 0xA8, 0xF4, 0xFC, 0xED, 0xAA, 0x95, 0x75, 0x7D)
__CRT_UUID_DECL(IV77PushSource, 0x32DB56B8, 0x4F2D, 0x484B, 0xB1, 0x5E, 0x55, 0x2E, 0xBA, 0xC4, 0x52, 0x30)
__CRT_UUID_DECL(IV77WindowSpy, 0xB26B1FFF, 0x1897, 0x4C40, 0x84, 0xFA, 0xCA, 0x33, 0xD8, 0xEF, 0xD3, 0xC4)
#endif
