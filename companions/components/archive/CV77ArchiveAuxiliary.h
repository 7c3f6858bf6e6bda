// The auxiliary object of the store and TCP archive sources (and, under its
// own class, of the local archive source): the zone configuration as the live
// receivers' auxiliary object finds it, the average frame size of the
// recording attached, and the pass-through commands kept for inspection
// (IV77ArchiveAuxiliaryState).
//
// Attach(source2, source1): a source1 that is a store folder is indexed and
// its frames' mean size answers GetAverageFrameSize; an archive server's
// address ("host:port"), or the local capture process serving a store under
// a name, is asked for it (at most kServerTimeoutMs per step); when none answers the size is unknown: S_FALSE and 0.
#pragma once

#include <mutex>

#include "companions/components/archive/IV77ArchiveAuxiliaryState.h"
#include "companions/components/live/CV77ReceiverAuxiliary.h"

class CV77ArchiveAuxiliary : public CV77ReceiverAuxiliary, public IV77ArchiveAuxiliaryState {
public:
    static constexpr DWORD kServerTimeoutMs = 2000;

    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP Attach(BSTR source2, BSTR source1) override;
    STDMETHODIMP Command7(DWORD a, DWORD b) override { return Record(0, a, b); }
    STDMETHODIMP Command8(DWORD a, DWORD b) override { return Record(1, a, b); }
    STDMETHODIMP Command9(DWORD a, DWORD b) override { return Record(2, a, b); }
    STDMETHODIMP GetAverageFrameSize(double* bytes) override;

    // IV77ArchiveAuxiliaryState
    STDMETHODIMP GetCommand(DWORD slot, DWORD* calls, DWORD* a, DWORD* b) override;

private:
    struct Command {
        DWORD calls = 0;
        DWORD a = 0;
        DWORD b = 0;
    };

    HRESULT Record(int index, DWORD a, DWORD b);

    std::mutex m_StateLock;
    Command m_Commands[3];
    double m_dAverage = 0.0;
};
