// Archive receiver of a recording store: Open(source1 = the store folder,
// source2 unused). Serves the buffer's stretches from every segment of the
// folder, across the edges between them.
#pragma once

#include "companions/components/archive/CV77ArchiveReceiver.h"
#include "companions/components/archive/CV77RecordingStore.h"

class CV77StoreReceiver : public CV77ArchiveReceiver {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

protected:
    CV77StoreReceiver(const TCHAR* name, const char* logName);
    ~CV77StoreReceiver() override;
    HRESULT OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
    HRESULT ReadFrame(size_t index, BYTE* data, LONG capacity, LONG* written) override;
    void CloseRecording() override;

    CV77RecordingStore m_Store;
};
