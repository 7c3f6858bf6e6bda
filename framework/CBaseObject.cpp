#include "framework/CBaseObject.h"

LONG volatile CBaseObject::m_cObjects = 0;

CBaseObject::CBaseObject(const TCHAR* name) : m_pName(name)
{
    InterlockedIncrement(&m_cObjects);
}

CBaseObject::~CBaseObject()
{
    InterlockedDecrement(&m_cObjects);
}
