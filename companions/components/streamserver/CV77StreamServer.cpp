#include "companions/components/streamserver/CV77StreamServer.h"

#include <vfwmsgs.h>
#include <cstring>
#include <new>
#include <utility>

#include "companions/components/streamserver/CV77StreamSink.h"
#include "companions/framing/V77StreamDescription.h"
#include "framework/CMediaType.h"
#include "v77/V77Guids.h"

CUnknown* CV77StreamServer::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    if (outer) {
        *phr = CLASS_E_NOAGGREGATION;
        return nullptr;
    }
    auto* server = new (std::nothrow) CV77StreamServer();
    if (!server)
        *phr = E_OUTOFMEMORY;
    else if (FAILED(server->m_Winsock.Result()))
        *phr = server->m_Winsock.Result();
    return server;
}

CV77StreamServer::CV77StreamServer() : CUnknown(TEXT("V77 stream server"), nullptr) {}

CV77StreamServer::~CV77StreamServer()
{
    Revoke();
}

STDMETHODIMP CV77StreamServer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IV77StreamServer)
        return GetInterface(static_cast<IV77StreamServer*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CV77StreamServer::GetPort(DWORD* port)
{
    if (!port)
        return E_POINTER;
    *port = m_Port;
    return S_OK;
}

STDMETHODIMP CV77StreamServer::GetClientCount(DWORD* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_ClientLock);
    DWORD alive = 0;
    for (const auto& client : m_Clients)
        alive += client->Alive() ? 1 : 0;
    *count = alive;
    return S_OK;
}

STDMETHODIMP CV77StreamServer::GetStatistics(DWORD* delivered, DWORD* dropped)
{
    if (delivered)
        *delivered = m_cDelivered;
    if (dropped)
        *dropped = m_cDropped;
    return S_OK;
}

STDMETHODIMP CV77StreamServer::RegisterSource(DWORD port, DWORD queue, IV77ImageSource* source, LONGLONG)
{
    if (!source)
        return E_POINTER;
    if (port > 0xFFFF)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_StateLock);
    if (m_pSource)
        return VFW_E_WRONG_STATE;
    CV77Socket listener;
    HRESULT hr = CV77Socket::ListenLoopback(static_cast<uint16_t>(port), SOMAXCONN, &listener);
    if (FAILED(hr))
        return hr;
    auto* sink = new (std::nothrow) CV77StreamSink(this);
    if (!sink)
        return E_OUTOFMEMORY;
    sink->NonDelegatingAddRef();
    DWORD cookie = 0;
    hr = source->Advise(static_cast<IV77StreamSink*>(sink), &cookie);
    if (FAILED(hr)) {
        sink->NonDelegatingRelease();
        return hr;
    }
    source->AddRef();
    m_pSource = source;
    m_pSink = sink;
    m_MaxQueued = queue != 0 ? queue : kDefaultQueue;
    m_Port = listener.LocalPort();
    m_Listener = std::move(listener);
    m_bStopping = false;
    m_Acceptor = std::thread([this] { AcceptLoop(); });
    return S_OK;
}

STDMETHODIMP CV77StreamServer::Revoke()
{
    std::unique_lock<std::mutex> lock(m_StateLock);
    if (!m_pSource)
        return S_FALSE;
    // The source first: after Unadvise no Deliver is in progress or to come.
    m_pSource->Unadvise(0);
    m_pSink->Detach();
    m_bStopping = true;
    if (m_Acceptor.joinable())
        m_Acceptor.join();
    std::vector<std::unique_ptr<CV77StreamClient>> clients;
    {
        std::lock_guard<std::mutex> clientLock(m_ClientLock);
        clients.swap(m_Clients);
    }
    clients.clear();   // each stops its thread
    m_Listener.Close();
    m_Port = 0;
    m_pSink->NonDelegatingRelease();
    m_pSink = nullptr;
    m_pSource->Release();
    m_pSource = nullptr;
    return S_OK;
}

CV77StreamClient::Bytes CV77StreamServer::Describe(bool* keyed)
{
    v77framing::StreamDescription d;
    SOURCE_INFORMATION info = {};
    m_pSource->GetSourceInformation(&info);
    std::memcpy(d.sourceInformation, &info, sizeof info);
    AM_MEDIA_TYPE mt = {};
    if (SUCCEEDED(m_pSource->GetMediaType(&mt))) {
        std::memcpy(d.majorType, &mt.majortype, 16);
        std::memcpy(d.subtype, &mt.subtype, 16);
        std::memcpy(d.formatType, &mt.formattype, 16);
        d.fixedSizeSamples = mt.bFixedSizeSamples ? 1 : 0;
        d.temporalCompression = mt.bTemporalCompression ? 1 : 0;
        d.sampleSize = mt.lSampleSize;
        if (mt.pbFormat && mt.cbFormat <= v77framing::kMaxFormatLength)
            d.format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
        FreeMediaType(mt);
    }
    *keyed = d.temporalCompression != 0;
    return std::make_shared<const std::vector<uint8_t>>(v77framing::EncodeStreamDescription(d));
}

void CV77StreamServer::AcceptLoop()
{
    while (!m_bStopping) {
        const int ready = m_Listener.WaitReadable(50);
        if (ready <= 0)
            continue;
        CV77Socket peer = m_Listener.Accept();
        if (!peer.Valid())
            continue;
        bool keyed = false;
        CV77StreamClient::Bytes description = Describe(&keyed);
        auto client = std::make_unique<CV77StreamClient>(std::move(peer), description, m_MaxQueued, keyed);
        std::vector<std::unique_ptr<CV77StreamClient>> dead;
        {
            std::lock_guard<std::mutex> lock(m_ClientLock);
            for (auto it = m_Clients.begin(); it != m_Clients.end();) {
                if ((*it)->Alive()) {
                    ++it;
                } else {
                    dead.push_back(std::move(*it));
                    it = m_Clients.erase(it);
                }
            }
            m_Clients.push_back(std::move(client));
        }
        dead.clear();   // joined outside the lock
    }
}

HRESULT CV77StreamServer::Deliver(IMediaSample* sample)
{
    BYTE* data = nullptr;
    const LONG length = sample->GetActualDataLength();
    if (FAILED(sample->GetPointer(&data)) || length < 0 ||
        static_cast<uint32_t>(length) > v77framing::kMaxFramePayload)
        return E_INVALIDARG;
    v77framing::FrameHeader header;
    header.magic = v77framing::kStreamFrameMagic;
    header.length = static_cast<uint32_t>(length);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const HRESULT times = sample->GetTime(&start, &stop);
    if (times == S_OK)
        header.flags |= v77framing::kFrameTimeValid | v77framing::kFrameStopValid;
    else if (times == VFW_S_NO_STOP_TIME)
        header.flags |= v77framing::kFrameTimeValid;
    header.start = start;
    header.stop = stop;
    const bool key = sample->IsSyncPoint() == S_OK;
    if (key)
        header.flags |= v77framing::kFrameSyncPoint;
    if (sample->IsDiscontinuity() == S_OK)
        header.flags |= v77framing::kFrameDiscontinuity;
    auto frame = std::make_shared<std::vector<uint8_t>>(v77framing::kFrameHeaderSize + header.length);
    v77framing::EncodeFrameHeader(header, frame->data());
    if (length > 0)
        std::memcpy(frame->data() + v77framing::kFrameHeaderSize, data, static_cast<size_t>(length));
    const CV77StreamClient::Bytes shared = frame;
    ++m_cDelivered;
    std::lock_guard<std::mutex> lock(m_ClientLock);
    for (const auto& client : m_Clients)
        m_cDropped += static_cast<DWORD>(client->Push(shared, key));
    return S_OK;
}
