#include "tests/module/ExpectedFilters.h"

#include <strmif.h>
#include <uuids.h>

namespace {

// FOURCC subtypes, spelt out here rather than taken from the module's headers.
const GUID kDX50 = {0x30355844, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kdx50 = {0x30357864, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSENS = {0x534E4553, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSEN2 = {0x324E4553, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

const ExpectedPinType kVideoAny[] = {{&MEDIATYPE_Video, &GUID_NULL}};
const ExpectedPinType kVideoDx50[] = {{&MEDIATYPE_Video, &kDX50}, {&MEDIATYPE_Video, &kdx50}};
const ExpectedPinType kVideoSensors[] = {{&MEDIATYPE_Video, &kSENS}, {&MEDIATYPE_Video, &kSEN2}};
const ExpectedPinType kAudioPcm[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const ExpectedPinType kAudioAny[] = {{&MEDIATYPE_Audio, &GUID_NULL}};

const DWORD kIn = 0;
const DWORD kOut = REG_PINFLAG_B_OUTPUT;
const DWORD kRendered = REG_PINFLAG_B_RENDERER;

const ExpectedPin kInOutVideo[] = {{kIn, 1, kVideoAny}, {kOut, 1, kVideoAny}};
const ExpectedPin kRenderDx50[] = {{kRendered, 2, kVideoDx50}};
const ExpectedPin kSourceDx50[] = {{kOut, 2, kVideoDx50}};
const ExpectedPin kRenderSensors[] = {{kRendered, 2, kVideoSensors}};
const ExpectedPin kRenderVideo[] = {{kRendered, 1, kVideoAny}};
const ExpectedPin kSourcePcm[] = {{kOut, 1, kAudioPcm}};
const ExpectedPin kSourceAudio[] = {{kOut, 1, kAudioAny}};
const ExpectedPin kRenderAudio[] = {{kRendered, 1, kAudioAny}};
const ExpectedPin kSourceVideo[] = {{kOut, 1, kVideoAny}};
const ExpectedPin kInOutPcm[] = {{kIn, 1, kAudioPcm}, {kOut, 1, kAudioPcm}};

}  // namespace

const ExpectedFilter kExpectedFilters[] = {
    {"{B50FA83E-08F2-4C4C-A473-1956B5089268}", "Varnokel77 buffer filter", 2, kInOutVideo},
    {"{C11D7D7E-C01C-4C05-A99B-713052B644B7}", "Varnokel77 Network renderer filter", 1, kRenderDx50},
    {"{54FD8CC3-7D02-46BC-9308-23DEFA256594}", "Varnokel77 Network source filter", 1, kSourceDx50},
    {"{07B8C98A-4823-4590-99A8-34947E61C9BA}", "Varnokel77 Avi file renderer filter", 1, kRenderDx50},
    {"{9D25AFFE-CF0C-45D8-A1AE-CF598F5FCBB6}", "Varnokel77 Archive source filter", 1, kSourceDx50},
    {"{2A5305E5-C120-418F-B1BC-76F1862A3A50}", "Varnokel77 Archive local source filter", 1, kSourceDx50},
    {"{4EE23308-A583-4546-A76F-D2E6F74A7686}", "Varnokel77 Local Live source filter", 1, kSourceDx50},
    {"{501D4F79-1ED3-4DEC-845E-4D4FC3023191}", "Varnokel77 Overlay renderer filter", 1, kRenderSensors},
    {"{B80D6ED7-7340-4DA5-AEA9-93610B81239E}", "Varnokel77 Direct Draw Overlay renderer", 1, kRenderVideo},
    {"{61AF0BE6-9579-4FFA-83D2-98C55137B5EF}", "Varnokel77 Jpeg renderer", 1, kRenderVideo},
    {"{B1FD9B97-C2C5-401A-A8A1-D900C4DAAD80}", "Varnokel77 GDI renderer", 1, kRenderVideo},
    {"{D2493D99-D64E-4598-A5E3-A4AD49BCA9AD}", "Varnokel77 Image renderer filter", 1, kRenderVideo},
    {"{444A0725-BBA1-4003-9805-0B998A28037E}", "Varnokel77 AVI source filter", 1, kSourceDx50},
    {"{6ABC8D2F-B103-44A8-8661-D14BB5F08E25}", "Varnokel77 TCP source filter", 1, kSourceDx50},
    {"{34C9C0C0-B781-4CAC-9214-BA75C52B8384}", "Varnokel77 Audio source filter", 1, kSourcePcm},
    {"{7A815017-B614-46E6-B250-AF5E2C19CACE}", "Varnokel77 TCP Audio source filter", 1, kSourceAudio},
    {"{564132E9-C318-44EA-923F-6E4E26D01D8A}", "Varnokel77 TCP Audio renderer filter", 1, kRenderAudio},
    {"{6F44B972-59D4-4BFC-B7DE-E1E64EED32DF}", "Varnokel77 AVI file source filter", 1, kSourceDx50},
    {"{7D620207-C79A-4678-BCE5-85F4832D7408}", "Varnokel77 Push source filter", 1, kSourceVideo},
    {"{FE5B8263-B3A5-45EF-B8DB-B2B19E86276D}", "Varnokel77 Audio Mute", 2, kInOutPcm},
    {"{CA2209B1-EF2E-4B4C-87AA-FB512D7AD505}", "Varnokel77 TCP Network source filter", 1, kSourceDx50},
    {"{D24E0FAA-12A2-4675-986E-CA3F827154E2}", "Varnokel77 Resize filter", 2, kInOutVideo},
    {"{26C3005E-4C46-49E5-84C8-398EF686AA5A}", "Varnokel77 Window Spy filter", 1, kSourceVideo},
};
const int kExpectedFilterCount = sizeof(kExpectedFilters) / sizeof(kExpectedFilters[0]);

CLSID ClsidOf(const ExpectedFilter& filter)
{
    WCHAR wide[40] = {};
    MultiByteToWideChar(CP_ACP, 0, filter.clsid, -1, wide, 40);
    CLSID clsid = CLSID_NULL;
    CLSIDFromString(wide, &clsid);
    return clsid;
}
