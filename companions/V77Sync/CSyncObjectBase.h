// A lock behind virtual calls, so code that only needs to lock and unlock
// does not depend on the kind of lock.
#pragma once

class CSyncObjectBase {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    // True when the lock was free and is now held by the caller.
    virtual bool TryLock() = 0;
    virtual ~CSyncObjectBase() = default;

    CSyncObjectBase(const CSyncObjectBase&) = delete;
    CSyncObjectBase& operator=(const CSyncObjectBase&) = delete;

protected:
    CSyncObjectBase() = default;
};
