// Every COM object of a module derives from CBaseObject, so the module knows
// when it may be unloaded (no object alive and no server lock outstanding).
#pragma once

#include <windows.h>

class CBaseObject {
public:
    explicit CBaseObject(const TCHAR* name);
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject();

    // Objects constructed and not yet destroyed, module-wide.
    static LONG ObjectsActive() { return m_cObjects; }

    const TCHAR* Name() const { return m_pName; }

private:
    static LONG volatile m_cObjects;
    const TCHAR* m_pName;  // debugging aid only; not owned
};
