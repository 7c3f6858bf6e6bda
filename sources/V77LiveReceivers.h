// Class identifiers of the live receivers each live source creates. The
// receivers are outside components; only the sources (and their tests) name them.
#pragma once

#include <windows.h>

// Network (RTP) receiver {114DBC98-D7EB-492F-B636-89CB5A4CCB8F}
inline constexpr CLSID CLSID_V77NetworkReceiver = {0x114DBC98, 0xD7EB, 0x492F,
                                                   {0xB6, 0x36, 0x89, 0xCB, 0x5A, 0x4C, 0xCB, 0x8F}};
// TCP elementary-stream receiver {A36D476A-8DDD-4CC8-9098-87CCE7F6A041}
inline constexpr CLSID CLSID_V77TcpReceiver = {0xA36D476A, 0x8DDD, 0x4CC8,
                                               {0x90, 0x98, 0x87, 0xCC, 0xE7, 0xF6, 0xA0, 0x41}};
// AVI file receiver {25743047-C925-4F13-967B-AA3100F842C0}
inline constexpr CLSID CLSID_V77AviReceiver = {0x25743047, 0xC925, 0x4F13,
                                               {0x96, 0x7B, 0xAA, 0x31, 0x00, 0xF8, 0x42, 0xC0}};
// Local capture receiver {8CA34ED6-35E7-4A22-8FA3-ECD9ED2005DE}
inline constexpr CLSID CLSID_V77LocalReceiver = {0x8CA34ED6, 0x35E7, 0x4A22,
                                                 {0x8F, 0xA3, 0xEC, 0xD9, 0xED, 0x20, 0x05, 0xDE}};
