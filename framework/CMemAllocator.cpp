#include "framework/CMemAllocator.h"

#include <new>
#include "framework/CAutoLock.h"
#include "framework/CMediaSample.h"

namespace {

// Alignments beyond VirtualAlloc's granularity are not honoured.
constexpr LONG kMaxAlignment = 65536;

bool IsPowerOfTwo(LONG value)
{
    return value > 0 && (value & (value - 1)) == 0;
}

}  // namespace

CMemAllocator::CMemAllocator(const TCHAR* name, LPUNKNOWN outer, HRESULT* phr)
    : CBaseAllocator(name, outer, phr, TRUE), m_pBuffer(nullptr)
{
}

CMemAllocator::~CMemAllocator()
{
    Decommit();
    ReallyFree();
}

CUnknown* WINAPI CMemAllocator::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    CUnknown* allocator = new (std::nothrow) CMemAllocator(TEXT("CMemAllocator"), outer, phr);
    if (!allocator)
        *phr = E_OUTOFMEMORY;
    return allocator;
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual)
{
    if (!request || !actual)
        return E_POINTER;
    if (!IsPowerOfTwo(request->cbAlign) || request->cbAlign > kMaxAlignment)
        return VFW_E_BADALIGN;
    if (request->cbBuffer < 0 || request->cbPrefix < 0 || request->cBuffers < 0)
        return E_INVALIDARG;

    // Each buffer (with its prefix) starts on an alignment boundary.
    LONGLONG size = static_cast<LONGLONG>(request->cbBuffer) + request->cbPrefix;
    LONGLONG remainder = size % request->cbAlign;
    if (remainder)
        size += request->cbAlign - remainder;
    if (size > 0x7FFFFFFF)
        return E_OUTOFMEMORY;

    ALLOCATOR_PROPERTIES adjusted = *request;
    adjusted.cbBuffer = static_cast<LONG>(size) - request->cbPrefix;
    return CBaseAllocator::SetProperties(&adjusted, actual);
}

HRESULT CMemAllocator::Alloc()
{
    CAutoLock lock(&m_Lock);
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr))
        return hr;
    if (m_pBuffer)
        ReallyFree();

    LONGLONG stride = static_cast<LONGLONG>(m_lSize) + m_lPrefix;
    LONGLONG total = stride * m_lCount;
    if (total > 0x7FFFFFFFLL * 4)
        return E_OUTOFMEMORY;
    m_pBuffer = static_cast<LPBYTE>(VirtualAlloc(nullptr, static_cast<SIZE_T>(total), MEM_COMMIT, PAGE_READWRITE));
    if (!m_pBuffer)
        return E_OUTOFMEMORY;

    for (LONG i = 0; i < m_lCount; ++i) {
        HRESULT sampleHr = S_OK;
        auto* sample = new (std::nothrow)
            CMediaSample(TEXT("Default memory media sample"), this, &sampleHr, m_pBuffer + i * stride + m_lPrefix, m_lSize);
        if (!sample || FAILED(sampleHr)) {
            delete sample;
            ReallyFree();
            return E_OUTOFMEMORY;
        }
        PushFree(sample);
        ++m_lAllocated;
    }
    return S_OK;
}

void CMemAllocator::Free()
{
    // Called with every sample home: give the memory back until the next Commit.
    ReallyFree();
}

void CMemAllocator::ReallyFree()
{
    while (CMediaSample* sample = PopFree())
        delete sample;
    m_lAllocated = 0;
    if (m_pBuffer) {
        VirtualFree(m_pBuffer, 0, MEM_RELEASE);
        m_pBuffer = nullptr;
    }
}
