// Interfaces of the TCP and UDP audio filters and the audio mute.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"

// Callback of the TCP audio source, called by the TCP channel on its threads.
struct IV77TCPChannelDataEvents : public IUnknown {
    // An empty sample from the downstream allocator (waits for a free one).
    virtual HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** sample) = 0;                      // 3
    // The source takes its own reference; the channel releases the one it got.
    virtual HRESULT STDMETHODCALLTYPE OnSample(IMediaSample* sample) = 0;                        // 4
};

struct IV77DsTCPAudioRenderer : public IUnknown {
    // channel: an IV77TCPChannel; null clears it.
    virtual HRESULT STDMETHODCALLTYPE SetChannel(IUnknown* channel) = 0;                         // 3
};

// Host control of the UDP audio source. The open methods need a stopped graph
// and return the output type (the caller frees it).
struct IV77DsUdpAudioSource : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OpenAllChannels(AM_MEDIA_TYPE* pmt) = 0;                   // 3
    virtual HRESULT STDMETHODCALLTYPE SelectChannel(long channel) = 0;                           // 4
    // Pass-throughs to the receiver's slots 16 and 17.
    virtual HRESULT STDMETHODCALLTYPE UdpMethod16(DWORD a, DWORD b) = 0;                         // 5
    virtual HRESULT STDMETHODCALLTYPE UdpMethod17(DWORD a, DWORD b) = 0;                         // 6
    virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL mute) = 0;                                    // 7
    virtual HRESULT STDMETHODCALLTYPE OpenChannel(AM_MEDIA_TYPE* pmt, long channel) = 0;         // 8
};

// Per-channel callback the UDP audio receiver pushes datagrams through; the
// receiver passes an object of which only GetActualDataLength and GetPointer work.
struct IUdpEvent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnData(IMediaSample* data) = 0;                            // 3
};

struct IV77AudioMute : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL mute) = 0;                                    // 3
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77TCPChannelDataEvents, 0x12399638, 0x7CE3, 0x403F, 0xBD, 0xFA, 0x1D, 0x5A, 0x7F, 0x59, 0x31, 0x3C)
__CRT_UUID_DECL(IV77DsTCPAudioRenderer, 0x1E1AC8D0, 0x99B2, 0x4F1E, 0xBE, 0xA3, 0x3E, 0xC3, 0x49, 0x46, 0x04, 0x65)
__CRT_UUID_DECL(IV77DsUdpAudioSource, 0xD66FDD6D, 0x71A6, 0x494E, 0x98, 0xE8, 0xC9, 0x52, 0x81, 0x35, 0x6C, 0xA5)
__CRT_UUID_DECL(IUdpEvent, 0x18C61EF7, 0x0F67, 0x4D39, 0x98, 0xD5, 0x25, 0x39, 0x3F, 0x8C, 0x14, 0xE5)
__CRT_UUID_DECL(IV77AudioMute, 0xF4FF7E4D, 0xC261, 0x4238, 0x93, 0x87, 0x93, 0x7F, 0x52, 0x3A, 0x63, 0xCB)
#endif
