// Archive receiver of an archive server (tools/V77ArchiveServer): Open
// (source1 = "host:port", source2 unused) connects, asks the server to
// describe its recording, and each stretch the buffer asks for is asked of
// the server, which answers it from its own index of the store.
//
// The server is never trusted to answer: every wait on it is bounded by the
// stall limit and cut short within a slice when the receiver closes or the
// filter the source feeds stops, so Stop never waits on a dead socket. A
// server that closes, stalls or answers garbage fails the stretch with
// WSAECONNRESET, WSAETIMEDOUT or ERROR_INVALID_DATA and a log line (the
// source raises 0x8005 with it); the next stretch connects again. A
// connection left in the middle of a stretch is dropped, not drained.
//
// IV77TcpReceiver::Configure(reserved, reserved, stallMs): the stall limit,
// 0 meaning kDefaultStallMs.
#pragma once

#include "companions/components/archive/CV77ArchiveConnection.h"

#include <atomic>
#include <string>

#include "companions/components/archive/CV77ArchiveReceiver.h"

class CV77TcpArchiveReceiver : public CV77ArchiveReceiver, public IV77TcpReceiver {
public:
    static constexpr DWORD kConnectTimeoutMs = 2000;
    static constexpr DWORD kDefaultStallMs = 3000;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IV77TcpReceiver
    STDMETHODIMP Configure(DWORD reserved, double unused, DWORD stallMs) override;

protected:
    CV77TcpArchiveReceiver();
    ~CV77TcpArchiveReceiver() override { StopThread(); }

    HRESULT OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    HRESULT ReadFrame(size_t, BYTE*, LONG, LONG*) override { return E_UNEXPECTED; }
    void CloseRecording() override;
    bool Playable() const override { return m_uFrames > 0; }
    HRESULT BeginStretch(REFERENCE_TIME position, DWORD type, size_t maxFrames, V77Stretch* stretch) override;
    HRESULT ReadStretchFrame(const V77Stretch& stretch, size_t i, BYTE* data, LONG capacity,
                             StretchFrame* frame) override;

private:
    // Sends request and receives the header of its answer, connecting first when needed.
    HRESULT Ask(const std::vector<uint8_t>& request, void* header, size_t headerSize);
    // Logs why the server failed us and drops the connection.
    HRESULT Failed(HRESULT hr, const char* what);
    CV77ArchiveConnection::CancelFunction Cancel() const;

    CV77ArchiveConnection m_Connection;  // reading thread, or Open without one
    std::string m_Peer;
    uint32_t m_uFrames = 0;
    uint32_t m_uPending = 0;             // frames of the current stretch not read yet
    std::atomic<DWORD> m_dwStallMs{kDefaultStallMs};
};
