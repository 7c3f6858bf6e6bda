// Serves one recording store over TCP in the archive protocol
// (V77ArchiveProtocol): the store is indexed once, each client gets its own
// thread, and every stretch request is answered from the same recording
// index the local receivers use. A client that sends anything but a valid
// request is disconnected.
#pragma once

#include "companions/components/net/CV77Socket.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "companions/components/archive/CV77RecordingStore.h"
#include "companions/components/recording/CV77RecordingIndex.h"
#include "companions/components/recording/V77ArchiveProtocol.h"

class CV77ArchiveServer {
public:
    CV77ArchiveServer();

    HRESULT Open(const std::wstring& storeFolder);
    // Listens on 127.0.0.1:port (0: a free port).
    HRESULT Listen(uint16_t port);
    uint16_t Port() const { return m_Listener.LocalPort(); }
    size_t FrameCount() const { return m_Index.FrameCount(); }
    // Pause before each frame sent (to watch a slow server); 0 by default.
    void SetFrameDelay(DWORD ms) { m_dwFrameDelayMs = ms; }
    // Accepts clients until the process ends.
    void Serve();

private:
    void ServeClient(SOCKET client);
    bool Describe(SOCKET client);
    bool SendStretch(SOCKET client, const V77ArchiveProtocol::Request& request);
    static bool SendAll(SOCKET client, const void* data, size_t size);
    static bool ReceiveAll(SOCKET client, void* data, size_t size);

    CV77WinsockInit m_Winsock;
    CV77Socket m_Listener;
    CV77RecordingStore m_Store;
    CV77RecordingIndex m_Index;
    std::mutex m_ReadLock;  // AVIFile streams are read by one client at a time
    DWORD m_dwFrameDelayMs = 0;
};
