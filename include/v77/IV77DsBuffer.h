// Control and notification interfaces of the buffer filter.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"

// Keeps the buffer filters of one group in step under their master.
struct IV77DsBufferMaster : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPlayState(void* caller, REFERENCE_TIME* reference,
                                                   REFERENCE_TIME* position, double* rate) = 0;  // 3
    virtual HRESULT STDMETHODCALLTYPE GetPosition(REFERENCE_TIME* position) = 0;                 // 4
    virtual HRESULT STDMETHODCALLTYPE AddSlave(IV77DsBufferMaster* slave) = 0;                   // 5
    virtual HRESULT STDMETHODCALLTYPE SyncPositions(REFERENCE_TIME position,
                                                    IV77DsBufferMaster* origin) = 0;             // 6
    virtual HRESULT STDMETHODCALLTYPE SetRate(double rate) = 0;                                  // 7
    virtual HRESULT STDMETHODCALLTYPE SetPositions(REFERENCE_TIME* current, REFERENCE_TIME* start,
                                                   REFERENCE_TIME* stop) = 0;                    // 8
    virtual HRESULT STDMETHODCALLTYPE RemoveSlave(IV77DsBufferMaster* slave) = 0;                // 9
    virtual HRESULT STDMETHODCALLTYPE ReleaseMaster() = 0;                                       // 10
};

// Host configuration of one buffer filter.
struct IV77DsBuffer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetPreferredMediaType(const AM_MEDIA_TYPE* mt) = 0;        // 3
    virtual HRESULT STDMETHODCALLTYPE SetUseOwnAllocator(BOOL use) = 0;                          // 4
    virtual HRESULT STDMETHODCALLTYPE SetBufferCount(LONG count) = 0;                            // 5
    virtual HRESULT STDMETHODCALLTYPE GetCapacity(LONG* count) = 0;                              // 6
    virtual HRESULT STDMETHODCALLTYPE GetMinimumCount(LONG* count) = 0;                          // 7
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* mt) = 0;                       // 8
    virtual HRESULT STDMETHODCALLTYPE GetAvailable(REFERENCE_TIME* first, REFERENCE_TIME* last) = 0;  // 9
    virtual HRESULT STDMETHODCALLTYPE GetFrame(REFERENCE_TIME* time, LONG offset, BYTE* buffer,
                                               LONG* size) = 0;                                  // 10
    virtual HRESULT STDMETHODCALLTYPE CreateQueue(DWORD kind, DWORD parameter,
                                                  IV77DsBufferMaster* master) = 0;               // 11
    virtual HRESULT STDMETHODCALLTYPE SetGroupRate(double rate) = 0;                             // 12
    virtual HRESULT STDMETHODCALLTYPE SetGroupPositions(REFERENCE_TIME* current, REFERENCE_TIME* start,
                                                        REFERENCE_TIME* stop) = 0;               // 13
    virtual HRESULT STDMETHODCALLTYPE Step(LONG frames) = 0;                                     // 14
    virtual HRESULT STDMETHODCALLTYPE SetTimeStep(REFERENCE_TIME step) = 0;                      // 15
    virtual HRESULT STDMETHODCALLTYPE SetMaster(IV77DsBufferMaster* master) = 0;                 // 16
    virtual HRESULT STDMETHODCALLTYPE WaitReady(DWORD timeoutMs) = 0;                            // 17
};

// How an upstream archive source learns which stretch the buffer needs next.
struct IV77DsBufferNotify : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RequestDone(HRESULT result, LONG frameCount, DWORD reserved,
                                                  REFERENCE_TIME next) = 0;                      // 3
    virtual HRESULT STDMETHODCALLTYPE WaitForRequest(REFERENCE_TIME* position, DWORD* type,
                                                     WORD* flush) = 0;                           // 4
};

// Queue kinds of CreateQueue.
enum : DWORD {
    V77_QUEUE_STANDARD = 0,  // live FIFO
    V77_QUEUE_FULL = 1,      // archive time-shift, parameter = segment length
    V77_QUEUE_AUDIO = 2,     // archive audio, parameter = segment length | sample size << 16
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77DsBufferMaster, 0x5F1489F6, 0x996B, 0x4E40, 0x9A, 0x44, 0x31, 0x71, 0xDF, 0x62, 0x97, 0xA3)
__CRT_UUID_DECL(IV77DsBuffer, 0x1DE43E5D, 0x4150, 0x4D15, 0x87, 0x2D, 0x47, 0x33, 0x17, 0xC1, 0x82, 0x8D)
__CRT_UUID_DECL(IV77DsBufferNotify, 0x05EF0726, 0xAD2A, 0x4C97, 0xA9, 0x1F, 0x26, 0x8F, 0xB1, 0x27, 0x17, 0x07)
#endif
