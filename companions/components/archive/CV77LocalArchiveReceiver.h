// Archive receiver of the archive local source: Open(source1 = the recording
// store folder the local capture side records into, source2 unused). Serves
// the buffer's stretches from that store in this process, through the same
// recording index as the store receiver.
#pragma once

#include "companions/components/archive/CV77StoreReceiver.h"

class CV77LocalArchiveReceiver : public CV77StoreReceiver {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

private:
    CV77LocalArchiveReceiver();
};
