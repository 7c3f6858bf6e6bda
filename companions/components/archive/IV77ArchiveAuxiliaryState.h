// What the archive auxiliary object was told through its pass-through
// command slots, for the components' own tests (and diagnostics): the
// commands carry the host's values unchanged and mean nothing to the store.
#pragma once

#include <windows.h>
#include <unknwn.h>

// {5B0E6C31-92D4-4F7A-8E1B-6A3C2F9D7E45}
inline constexpr IID IID_IV77ArchiveAuxiliaryState = {0x5B0E6C31, 0x92D4, 0x4F7A,
                                                      {0x8E, 0x1B, 0x6A, 0x3C, 0x2F, 0x9D, 0x7E, 0x45}};

struct IV77ArchiveAuxiliaryState : public IUnknown {
    // slot 7, 8 or 9: how often it was called and its last arguments.
    virtual HRESULT STDMETHODCALLTYPE GetCommand(DWORD slot, DWORD* calls, DWORD* a, DWORD* b) = 0;
};
