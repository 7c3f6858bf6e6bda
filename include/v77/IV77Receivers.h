// Interfaces of the outside components the filters call: live and archive
// receivers, the receiver auxiliary object, the UDP audio receiver, the TCP
// channel, the stream server with its sink, and the image sink.
//
// Only the slots the module calls are named. The others are placeholders
// (ReservedN, N = the slot) that keep the named ones at their slot; the module
// never calls them, and test doubles implement them with E_NOTIMPL.
#pragma once

#include <windows.h>
#include <strmif.h>
#include "V77Guids.h"
#include "V77Types.h"

struct IV77RTPReceiverEvents;
struct IV77ARCReceiverEvents;
struct IUdpEvent;
struct IV77ImageSource;

// A live receiver: owns the camera, TCP, AVI or local connection and its
// threads, and fills the samples it asks from the source filter.
struct IV77LiveReceiver : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR source1, BSTR source2, DWORD openValue, WORD openWord,
                                          IV77RTPReceiverEvents* events) = 0;                    // 3
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                               // 4
    // S_OK while connected.
    virtual HRESULT STDMETHODCALLTYPE IsOpen() = 0;                                              // 5
    virtual HRESULT STDMETHODCALLTYPE GetSourceInformation(SOURCE_INFORMATION* info) = 0;        // 6
    virtual HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE* pmt) = 0;                      // 7
    // mask 0xFFFFFFFF starts streaming, 0 stops it.
    virtual HRESULT STDMETHODCALLTYPE SetStreaming(DWORD mask, WORD streamParameter) = 0;        // 8
    virtual HRESULT STDMETHODCALLTYPE SetStreamParameter(WORD value) = 0;                        // 9
    // The receiver's IV77ReceiverAuxiliary, with a reference.
    virtual HRESULT STDMETHODCALLTYPE GetAuxiliaryInterface(void** ppv) = 0;                     // 10
    virtual HRESULT STDMETHODCALLTYPE SetTimeParameter(REFERENCE_TIME value) = 0;                // 11
    // Average frame size in bytes.
    virtual HRESULT STDMETHODCALLTYPE GetAverageFrameSize(double* bytes) = 0;                    // 12
    virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;                                          // 13
};

// An archive receiver: reads a recording from a position on its own thread.
struct IV77ArchiveReceiver : public IUnknown {
    // Fills the stream description and the media type (caller frees its format block).
    virtual HRESULT STDMETHODCALLTYPE Open(BSTR source1, BSTR source2, IV77ARCReceiverEvents* events,
                                          DWORD zero, SOURCE_INFORMATION* info,
                                          AM_MEDIA_TYPE* pmt) = 0;                               // 3
    // Starts reading at start; ends with IV77ARCReceiverEvents::OnPlaybackEnd.
    virtual HRESULT STDMETHODCALLTYPE Play(REFERENCE_TIME start, DWORD playMode, WORD playOption) = 0;  // 4
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;                                           // 5
    virtual HRESULT STDMETHODCALLTYPE Prepare() = 0;                                             // 6
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;                                                // 7
};

// Auxiliary object of a receiver (overlay configuration, frame statistics, commands).
struct IV77ReceiverAuxiliary : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Attach(BSTR source2, BSTR source1) = 0;                    // 3
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;                                           // 4
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;                                           // 5
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;                                           // 6
    // Pass-through commands; the values belong to the receiver.
    virtual HRESULT STDMETHODCALLTYPE Command7(DWORD a, DWORD b) = 0;                            // 7
    virtual HRESULT STDMETHODCALLTYPE Command8(DWORD a, DWORD b) = 0;                            // 8
    virtual HRESULT STDMETHODCALLTYPE Command9(DWORD a, DWORD b) = 0;                            // 9
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;                                          // 10
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;                                          // 11
    virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;                                          // 12
    virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;                                          // 13
    virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;                                          // 14
    virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;                                          // 15
    virtual HRESULT STDMETHODCALLTYPE Reserved16() = 0;                                          // 16
    virtual HRESULT STDMETHODCALLTYPE GetAverageFrameSize(double* bytes) = 0;                    // 17
    virtual HRESULT STDMETHODCALLTYPE Reserved18() = 0;                                          // 18
    virtual HRESULT STDMETHODCALLTYPE Reserved19() = 0;                                          // 19
    virtual HRESULT STDMETHODCALLTYPE Reserved20() = 0;                                          // 20
    virtual HRESULT STDMETHODCALLTYPE Reserved21() = 0;                                          // 21
    // The callee allocates *xml; the caller frees it with SysFreeString.
    virtual HRESULT STDMETHODCALLTYPE GetOverlayConfiguration(long zero, BSTR* xml) = 0;         // 22
};

// The UDP audio receiver: numbered channels, each pushing datagrams to the
// IUdpEvent advised for it while the channel is enabled.
struct IV77UdpAudioReceiver : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;                                           // 3
    virtual HRESULT STDMETHODCALLTYPE Reserved4() = 0;                                           // 4
    virtual HRESULT STDMETHODCALLTYPE Reserved5() = 0;                                           // 5
    virtual HRESULT STDMETHODCALLTYPE Reserved6() = 0;                                           // 6
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;                                           // 7
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;                                           // 8
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;                                           // 9
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;                                          // 10
    virtual HRESULT STDMETHODCALLTYPE Reserved11() = 0;                                          // 11
    virtual HRESULT STDMETHODCALLTYPE Reserved12() = 0;                                          // 12
    virtual HRESULT STDMETHODCALLTYPE Reserved13() = 0;                                          // 13
    virtual HRESULT STDMETHODCALLTYPE Reserved14() = 0;                                          // 14
    virtual HRESULT STDMETHODCALLTYPE Reserved15() = 0;                                          // 15
    // Pass-throughs of IV77DsUdpAudioSource; the values belong to the receiver.
    virtual HRESULT STDMETHODCALLTYPE UdpMethod16(DWORD a, DWORD b) = 0;                         // 16
    virtual HRESULT STDMETHODCALLTYPE UdpMethod17(DWORD a, DWORD b) = 0;                         // 17
    // The number of channels is the result itself, not an HRESULT.
    virtual LONG STDMETHODCALLTYPE GetChannelCount() = 0;                                        // 18
    virtual HRESULT STDMETHODCALLTYPE Reserved19() = 0;                                          // 19
    virtual HRESULT STDMETHODCALLTYPE Reserved20() = 0;                                          // 20
    virtual HRESULT STDMETHODCALLTYPE Reserved21() = 0;                                          // 21
    virtual HRESULT STDMETHODCALLTYPE Reserved22() = 0;                                          // 22
    virtual HRESULT STDMETHODCALLTYPE Reserved23() = 0;                                          // 23
    virtual HRESULT STDMETHODCALLTYPE Reserved24() = 0;                                          // 24
    virtual HRESULT STDMETHODCALLTYPE Reserved25() = 0;                                          // 25
    virtual HRESULT STDMETHODCALLTYPE Reserved26() = 0;                                          // 26
    virtual HRESULT STDMETHODCALLTYPE Reserved27() = 0;                                          // 27
    virtual HRESULT STDMETHODCALLTYPE Reserved28() = 0;                                          // 28
    virtual HRESULT STDMETHODCALLTYPE Reserved29() = 0;                                          // 29
    virtual HRESULT STDMETHODCALLTYPE Reserved30() = 0;                                          // 30
    virtual HRESULT STDMETHODCALLTYPE Reserved31() = 0;                                          // 31
    virtual HRESULT STDMETHODCALLTYPE Reserved32() = 0;                                          // 32
    virtual HRESULT STDMETHODCALLTYPE Advise(long channel, IUdpEvent* sink) = 0;                 // 33
    virtual HRESULT STDMETHODCALLTYPE Unadvise(long channel) = 0;                                // 34
    // enable: TRUE is passed as -1.
    virtual HRESULT STDMETHODCALLTYPE EnableChannel(long channel, BOOL enable) = 0;              // 35
};

// The components below are handed over by the host as plain IUnknown pointers
// and called through them directly: they have no interface identifier we know
// of, so none is defined and nothing queries for them.

// The TCP channel: carries PCM frames (framing in companions/framing/V77PcmFraming.h)
// over one loopback TCP connection. The audio renderer sends through slot 6;
// received frames go to the IV77TCPChannelDataEvents set with slot 5.
// Slots 3, 4, 5 and 7 are this project's (IID_IV77TCPChannel, for the host).
struct IV77TCPChannel : public IUnknown {
    // Connects to 127.0.0.1:port (bounded wait); VFW_E_WRONG_STATE when already open.
    virtual HRESULT STDMETHODCALLTYPE Connect(DWORD port) = 0;                                   // 3
    // Listens on 127.0.0.1:port (0: a free port, returned in *boundPort) and
    // takes the first peer that connects; later peers are refused.
    virtual HRESULT STDMETHODCALLTYPE Listen(DWORD port, DWORD* boundPort) = 0;                 // 4
    // Where received frames go (an IV77TCPChannelDataEvents, referenced); null stops it.
    virtual HRESULT STDMETHODCALLTYPE SetDataEvents(IUnknown* events) = 0;                      // 5
    // Queues one frame for sending (never blocks on the peer; a full queue drops it).
    virtual HRESULT STDMETHODCALLTYPE SendSample(IMediaSample* sample) = 0;                      // 6
    // Closes the connection and ends the channel's threads.
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                                               // 7
    // Frames sent, received, and dropped on sending (null pointers are skipped).
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(DWORD* sent, DWORD* received, DWORD* dropped) = 0;  // 8
};

// The re-publishing server the network renderer registers with.
// Slots 3 to 10 are this project's (IID_IV77StreamServer, for the host); the
// stream framing is in companions/framing/V77StreamFraming.h.
struct IV77StreamServer : public IUnknown {
    // The loopback TCP port clients connect to (0 before RegisterSource).
    virtual HRESULT STDMETHODCALLTYPE GetPort(DWORD* port) = 0;                                  // 3
    // Clients connected now.
    virtual HRESULT STDMETHODCALLTYPE GetClientCount(DWORD* count) = 0;                          // 4
    // Frames the source delivered, and frames dropped for slow clients (all clients).
    virtual HRESULT STDMETHODCALLTYPE GetStatistics(DWORD* delivered, DWORD* dropped) = 0;       // 5
    // Unsubscribes from the source, closes every client and the listening socket.
    virtual HRESULT STDMETHODCALLTYPE Revoke() = 0;                                              // 6
    virtual HRESULT STDMETHODCALLTYPE Reserved7() = 0;                                           // 7
    virtual HRESULT STDMETHODCALLTYPE Reserved8() = 0;                                           // 8
    virtual HRESULT STDMETHODCALLTYPE Reserved9() = 0;                                           // 9
    virtual HRESULT STDMETHODCALLTYPE Reserved10() = 0;                                          // 10
    // a and b come unchanged from the host's Publish: a is the TCP port to serve
    // on 127.0.0.1 (0: a free one), b the frames each client may have queued
    // (0: 64). The server subscribes to source and holds it until Revoke. The call carries five
    // 32-bit argument words, so the trailing zero is a 64-bit value.
    virtual HRESULT STDMETHODCALLTYPE RegisterSource(DWORD a, DWORD b, IV77ImageSource* source,
                                                    LONGLONG zero) = 0;                          // 11
};

// The sink the stream server subscribes through IV77ImageSource::Advise.
struct IV77StreamSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DeliverSample(IMediaSample* sample, const LONGLONG* zero) = 0;  // 3
    // active: TRUE is passed as -1.
    virtual HRESULT STDMETHODCALLTYPE SetActive(BOOL active) = 0;                                // 4
};

// The host's sink behind the image renderer.
struct IV77ImageSink : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Deliver(IMediaSample* sample) = 0;                         // 3
};

// Optional interface of the image sink, found by QueryInterface: request
// completions of a playback graph, the arguments of IV77DsBufferNotify::RequestDone
// passed through unchanged (five 32-bit argument words: the position is 64-bit).
struct IV77RequestCompletion : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RequestDone(HRESULT result, LONG frameCount, DWORD reserved,
                                                  REFERENCE_TIME next) = 0;                      // 3
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IV77LiveReceiver, 0x87928A15, 0x0F9E, 0x417B, 0xAA, 0x2E, 0xE3, 0x38, 0x1D, 0x08, 0xFA, 0xD1)
__CRT_UUID_DECL(IV77ArchiveReceiver, 0x4A993310, 0xEC98, 0x41A5, 0xBE, 0x77, 0x87, 0xB0, 0xAA, 0x94, 0xD2, 0xD8)
__CRT_UUID_DECL(IV77ReceiverAuxiliary, 0x78AE5430, 0xB2EE, 0x4F29, 0x94, 0x1E, 0x28, 0xD9, 0x74, 0xD7, 0x55, 0xC7)
__CRT_UUID_DECL(IV77UdpAudioReceiver, 0xECB7C4F5, 0x4207, 0x400F, 0x8E, 0xF7, 0x53, 0x13, 0x1C, 0x81, 0xDF, 0xC5)
__CRT_UUID_DECL(IV77TCPChannel, 0x63276D78, 0xB106, 0x49B6, 0xAC, 0x7A, 0x0B, 0x77, 0xD6, 0x75, 0xF1, 0x31)
__CRT_UUID_DECL(IV77StreamServer, 0xAF21D433, 0x7D87, 0x4484, 0x9D, 0x65, 0x00, 0xC7, 0x18, 0x53, 0x0E, 0x2B)
__CRT_UUID_DECL(IV77RequestCompletion, 0xE9CEE7E7, 0xEF90, 0x4E30, 0xA1, 0x4D, 0x33, 0x60, 0x94, 0x27, 0x7D, 0x77)
#endif
