// Between the buffer filters of one group, inside this module: a slave's
// delivery thread waits in its master's GetPlayState for the master's
// position, and that wait must also end when the slave itself stops,
// flushes or goes inactive. The master asks the slave (found in its slave
// list by the caller identity) for the event that says so.
#pragma once

#include <windows.h>
#include <unknwn.h>

// {BBA4CC4A-68FC-45F2-8074-3AC41553FA2E}
inline constexpr GUID IID_IV77BufferGroupWait = {
    0xBBA4CC4A, 0x68FC, 0x45F2, {0x80, 0x74, 0x3A, 0xC4, 0x15, 0x53, 0xFA, 0x2E}};

struct IV77BufferGroupWait : public IUnknown {
    // The member queue's release event (CBufferQueue::ReleaseEvent); null without a queue.
    virtual HANDLE STDMETHODCALLTYPE ReleaseEvent() = 0;
};
