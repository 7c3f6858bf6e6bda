// Archive receiver of one AVI file: Open(source1 = the file, source2 = the
// time of its first frame on the file-time scale, in decimal).
#pragma once

#include "companions/components/archive/CV77StoreReceiver.h"

class CV77AviArchiveReceiver : public CV77StoreReceiver {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

private:
    CV77AviArchiveReceiver();
    HRESULT OpenRecording(BSTR source1, BSTR source2, SOURCE_INFORMATION* info, CMediaType* mt) override;
};
