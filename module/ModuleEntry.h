// What the module's exported entry points do, over any template table: the
// DLL passes its filter table, tests pass their own.
#pragma once

#include <windows.h>
#include "framework/CFactoryTemplate.h"

// Module state kept at process attach.
extern HINSTANCE g_hInst;
extern DWORD g_dwOsMajorVersion;  // 1 when the version query failed

void V77ModuleAttach(HINSTANCE hInstance, const CFactoryTemplate* templates, int count);
void V77ModuleDetach(const CFactoryTemplate* templates, int count);

HRESULT V77GetClassObject(const CFactoryTemplate* templates, int count, REFCLSID rclsid, REFIID riid,
                          void** ppv);

// S_FALSE while a server lock is held or any object of the module is alive.
HRESULT V77CanUnloadNow();
