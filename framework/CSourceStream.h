// An output pin of a CSource that pushes samples from its own worker thread:
// the thread starts when the filter leaves Stopped and ends when it stops.
// Derived pins fill each sample in FillBuffer.
#pragma once

#include "framework/CAMThread.h"
#include "framework/CBaseOutputPin.h"

class CSource;

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    CSourceStream(const TCHAR* objectName, HRESULT* phr, CSource* filter, LPCWSTR pinName);
    ~CSourceStream() override;

    // Pin id: the pin's number from 1, which CSource::FindPin accepts.
    STDMETHODIMP QueryId(LPWSTR* id) override;

    // Commands of the worker thread.
    enum Command { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };
    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }

    // Start and end the worker thread (the base commits and decommits the allocator).
    HRESULT Active() override;
    HRESULT Inactive() override;

    // One media type by default: position 0 is GetMediaType(CMediaType*).
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    virtual HRESULT GetMediaType(CMediaType* mt);
    // Accepts exactly the type GetMediaType(CMediaType*) gives.
    HRESULT CheckMediaType(const CMediaType* mt) override;

protected:
    // Fills a sample: S_OK delivers it, S_FALSE ends the stream, an error
    // ends it and reports EC_ERRORABORT.
    virtual HRESULT FillBuffer(IMediaSample* sample) = 0;

    // Worker-thread hooks: after creation, before destruction, and each
    // time delivery (re)starts.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    // Fills and delivers until a Stop or Exit command, end of stream, or a
    // delivery that does not return S_OK.
    virtual HRESULT DoBufferProcessingLoop();

    DWORD ThreadProc() override;

    Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
    BOOL CheckRequest(Command* command);

    CSource* m_pFilter;   // the owning source (CBasePin keeps it as a CBaseFilter too)

private:
    bool WaitForInit();
    Command NextCommand();

    // A Stop or Exit seen inside the loop, still to be answered.
    bool m_bCommandPending;
    Command m_PendingCommand;
};
