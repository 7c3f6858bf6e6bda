// Registers filters with the DirectShow filter mapper: IFilterMapper2 where
// the system has it, the original IFilterMapper otherwise.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>
#include "framework/CFactoryTemplate.h"

class CV77FilterMapperRegistrar {
public:
    // Creates the mapper; the caller has initialised COM.
    HRESULT Open();

    // Removes the filter's mapper entry and, when registering, writes it anew.
    // A filter the mapper does not know (0x80070002) is not a failure.
    HRESULT Apply(const AMOVIESETUP_FILTER& setup, BOOL bRegister);

private:
    HRESULT ApplyWithMapper2(const AMOVIESETUP_FILTER& setup, BOOL bRegister);
    HRESULT ApplyWithMapper(const AMOVIESETUP_FILTER& setup, BOOL bRegister);
    HRESULT RegisterPins(const AMOVIESETUP_FILTER& setup);

    Microsoft::WRL::ComPtr<IFilterMapper2> m_pMapper2;
    Microsoft::WRL::ComPtr<IFilterMapper> m_pMapper;
};
