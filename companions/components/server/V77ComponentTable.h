// The components this module serves, in one table: the class factory, the
// registration routine and DllCanUnloadNow all read it. A new component
// (live and archive receivers, the UDP audio receiver) is one more row here
// and a folder of its own beside pool/:
//
//   | CLSID                     | name                      | creator                        | folder      |
//   |---------------------------|---------------------------|--------------------------------|-------------|
//   | CLSID_V77SamplePool       | Varnokel77 Sample Pool    | CV77SamplePool::CreateInstance | pool/       |
//   | CLSID_V77PoolItem         | Varnokel77 Pool Item      | CV77PoolItem::CreateInstance   | pool/       |
//   | (live receivers)          |                           |                                | receivers/  |
//   | (archive receivers)       |                           |                                | receivers/  |
//   | CLSID_V77UdpAudioReceiver | Varnokel77 UDP Audio Receiver | CV77UdpAudioReceiver::CreateInstance | udpreceiver/ |
//   | CLSID_V77TcpChannel       | Varnokel77 TCP Channel    | CV77TcpChannel::CreateInstance | tcpchannel/ |
//   | CLSID_V77StreamServer     | Varnokel77 Stream Server  | CV77StreamServer::CreateInstance | streamserver/ |
#pragma once

#include "framework/CFactoryTemplate.h"

extern const CFactoryTemplate g_ComponentTemplates[];
extern const int g_cComponentTemplates;

// The row for clsid, or null.
const CFactoryTemplate* FindComponentTemplate(REFCLSID clsid);
