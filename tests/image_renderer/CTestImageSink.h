// A host's sink for the image renderer tests: records every sample it is
// handed (identity, pool, times, first bytes) without keeping a reference,
// and takes request completions only when asked to.
#pragma once

#include <windows.h>
#include <mutex>
#include <vector>

#include "v77/IV77Receivers.h"
#include "v77/IV77SamplePool.h"

struct SinkRecord {
    const void* sample;            // the IMediaSample pointer handed over
    IV77SamplePool* pool;          // the item's pool, compared by identity only
    REFERENCE_TIME mediaStart, mediaStop;
    long length;
    BYTE firstByte;
};

struct CompletionRecord {
    HRESULT result;
    LONG frameCount;
    DWORD reserved;
    REFERENCE_TIME next;
};

class CTestImageSink : public IV77ImageSink, public IV77RequestCompletion {
public:
    explicit CTestImageSink(bool takesCompletions) : m_bCompletions(takesCompletions) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_cRef); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&m_cRef); }   // lives on the stack

    // What a host passes to SetSink: the pointer whose slot 3 is Deliver.
    IUnknown* Unknown() { return static_cast<IV77ImageSink*>(this); }

    STDMETHODIMP Deliver(IMediaSample* sample) override;
    STDMETHODIMP RequestDone(HRESULT result, LONG frameCount, DWORD reserved, REFERENCE_TIME next) override;

    std::vector<SinkRecord> Records();
    std::vector<CompletionRecord> Completions();
    size_t Count();

private:
    volatile LONG m_cRef = 1;
    bool m_bCompletions;
    std::mutex m_Lock;
    std::vector<SinkRecord> m_Records;
    std::vector<CompletionRecord> m_Completions;
};
