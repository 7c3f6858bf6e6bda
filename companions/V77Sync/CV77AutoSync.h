// Scoped ownership of any CSyncObjectBase.
#pragma once

#include "companions/V77Sync/CSyncObjectBase.h"

class CV77AutoSync {
public:
    explicit CV77AutoSync(CSyncObjectBase& lock) : m_Lock(lock) { m_Lock.Lock(); }
    ~CV77AutoSync() { m_Lock.Unlock(); }
    CV77AutoSync(const CV77AutoSync&) = delete;
    CV77AutoSync& operator=(const CV77AutoSync&) = delete;

private:
    CSyncObjectBase& m_Lock;
};
