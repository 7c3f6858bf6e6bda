// The one source file of this module that defines the GUIDs.
#include <initguid.h>

#include "companions/components/server/V77ComponentTable.h"

#include "companions/components/pool/CV77PoolItem.h"
#include "companions/components/pool/CV77SamplePool.h"
#include "v77/V77Guids.h"

const CFactoryTemplate g_ComponentTemplates[] = {
    {L"Varnokel77 Sample Pool", &CLSID_V77SamplePool, CV77SamplePool::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Pool Item", &CLSID_V77PoolItem, CV77PoolItem::CreateInstance, nullptr, nullptr},
};

const int g_cComponentTemplates = sizeof g_ComponentTemplates / sizeof g_ComponentTemplates[0];

const CFactoryTemplate* FindComponentTemplate(REFCLSID clsid)
{
    for (const CFactoryTemplate& row : g_ComponentTemplates) {
        if (row.IsClassID(clsid))
            return &row;
    }
    return nullptr;
}
