// The one source file of this module that defines the GUIDs.
#include <initguid.h>

// The network components first: winsock2.h must come before windows.h.
#include "companions/components/streamserver/CV77StreamServer.h"
#include "companions/components/tcpchannel/CV77TcpChannel.h"
#include "companions/components/udpreceiver/CV77UdpAudioReceiver.h"
#include "companions/components/server/V77ComponentTable.h"

#include <cguid.h>  // GUID_NULL for the media types of the receivers

#include "companions/components/archive/CV77ArchiveAuxiliary.h"
#include "companions/components/archive/CV77AviArchiveReceiver.h"
#include "companions/components/archive/CV77LocalArchiveReceiver.h"
#include "companions/components/archive/CV77StoreReceiver.h"
#include "companions/components/archive/CV77TcpArchiveReceiver.h"
#include "companions/components/avi/CV77AviReceiver.h"
#include "companions/components/imagesink/CV77ImageSink.h"
#include "companions/components/local/CV77LocalReceiver.h"
#include "companions/components/network/CV77NetworkReceiver.h"
#include "companions/components/pool/CV77PoolItem.h"
#include "companions/components/pool/CV77SamplePool.h"
#include "companions/components/tcp/CV77TcpReceiver.h"
#include "v77/V77Guids.h"

const CFactoryTemplate g_ComponentTemplates[] = {
    {L"Varnokel77 Sample Pool", &CLSID_V77SamplePool, CV77SamplePool::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Pool Item", &CLSID_V77PoolItem, CV77PoolItem::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 UDP Audio Receiver", &CLSID_V77UdpAudioReceiver, CV77UdpAudioReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 TCP Channel", &CLSID_V77TcpChannel, CV77TcpChannel::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Stream Server", &CLSID_V77StreamServer, CV77StreamServer::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Network Receiver", &CLSID_V77NetworkReceiver, CV77NetworkReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 TCP Receiver", &CLSID_V77TcpReceiver, CV77TcpReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 AVI File Receiver", &CLSID_V77AviReceiver, CV77AviReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Store Archive Receiver", &CLSID_V77StoreReceiver, CV77StoreReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 AVI Archive Receiver", &CLSID_V77AviArchiveReceiver, CV77AviArchiveReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 TCP Archive Receiver", &CLSID_V77TcpArchiveReceiver, CV77TcpArchiveReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Archive Auxiliary", &CLSID_V77ArchiveAuxiliary, CV77ArchiveAuxiliary::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Image Sink", &CLSID_V77ImageSink, CV77ImageSink::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Local Receiver", &CLSID_V77LocalReceiver, CV77LocalReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Local Archive Receiver", &CLSID_V77LocalArchiveReceiver, CV77LocalArchiveReceiver::CreateInstance, nullptr, nullptr},
    {L"Varnokel77 Local Archive Auxiliary", &CLSID_V77LocalArchiveAuxiliary, CV77ArchiveAuxiliary::CreateInstance, nullptr, nullptr},
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
