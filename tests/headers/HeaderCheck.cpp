// Compile-time checks of the public headers: exact method types, derivation,
// interface identifiers and record sizes. GCC cannot read a virtual member
// pointer's slot in a constant expression, so the slot order itself rests on
// the declarations; what can drift silently (an argument's width, a return
// type, a base, a virtual destructor that would shift every slot, a mistyped
// identifier) fails the build here.
#include <initguid.h>

#include "v77/V77Interfaces.h"

#include <cstddef>
#include <type_traits>

namespace {

// ---- identifiers ------------------------------------------------------------

constexpr unsigned HexDigit(char c) {
    return c >= '0' && c <= '9' ? unsigned(c - '0')
         : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
         : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
         : throw "not a hex digit";
}

constexpr unsigned long HexField(const char* s, int digits) {
    unsigned long v = 0;
    for (int i = 0; i < digits; ++i) v = (v << 4) | HexDigit(s[i]);
    return v;
}

// Parses the registry form "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX".
constexpr GUID ParseGuid(const char (&s)[37]) {
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') throw "bad GUID text";
    GUID g{};
    g.Data1 = HexField(s, 8);
    g.Data2 = static_cast<unsigned short>(HexField(s + 9, 4));
    g.Data3 = static_cast<unsigned short>(HexField(s + 14, 4));
    g.Data4[0] = static_cast<unsigned char>(HexField(s + 19, 2));
    g.Data4[1] = static_cast<unsigned char>(HexField(s + 21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = static_cast<unsigned char>(HexField(s + 24 + 2 * i, 2));
    return g;
}

constexpr bool Same(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

// ---- identifier and shape ------------------------------------------------------

// A COM interface is a bare vtable pointer with no destructor slot.
template <typename I, typename Base>
constexpr bool IsInterfaceOn() {
    return std::is_base_of_v<Base, I> && std::is_abstract_v<I> && !std::has_virtual_destructor_v<I> &&
           sizeof(I) == sizeof(void*) && std::is_base_of_v<IUnknown, I>;
}

#define V77_CHECK_IID(I, text) static_assert(Same(__uuidof(I), ParseGuid(text)), "identifier of " #I)
#define V77_CHECK_SHAPE(I, Base) static_assert(IsInterfaceOn<I, Base>(), #I " derives from " #Base " only")
#define V77_CHECK_INTERFACE(I, Base, text) V77_CHECK_SHAPE(I, Base); V77_CHECK_IID(I, text)

V77_CHECK_INTERFACE(IV77DsSourceBase,         IUnknown,         "421FAE8D-6B18-4167-8A16-C11B9967F75D");
V77_CHECK_INTERFACE(IV77DsNetworkSource,      IV77DsSourceBase, "4D0EBAB9-7B1A-4DC9-BBD6-7B554C465496");
V77_CHECK_SHAPE(IV77RTPReceiverEvents, IUnknown);
V77_CHECK_INTERFACE(IV77TcpReceiver,          IUnknown,         "68697211-A7FF-4F30-B484-7A12C6E45D7F");
V77_CHECK_INTERFACE(IV77DsAviSource,          IUnknown,         "B09575CC-F735-438E-A483-52342E91D9C7");
V77_CHECK_INTERFACE(IV77DsARCSource,          IV77DsSourceBase, "ED7992C7-406C-41C0-92FB-EF6FC488D186");
V77_CHECK_INTERFACE(IV77ARCReceiverEvents,    IUnknown,         "71FDE85B-9C6D-4B5E-A8F4-FCEDAA95757D");
V77_CHECK_INTERFACE(IV77PushSource,           IUnknown,         "32DB56B8-4F2D-484B-B15E-552EBAC45230");
V77_CHECK_INTERFACE(IV77WindowSpy,            IUnknown,         "B26B1FFF-1897-4C40-84FA-CA33D8EFD3C4");
V77_CHECK_INTERFACE(IV77LiveReceiver,         IUnknown,         "87928A15-0F9E-417B-AA2E-E3381D08FAD1");
V77_CHECK_INTERFACE(IV77ArchiveReceiver,      IUnknown,         "4A993310-EC98-41A5-BE77-87B0AA94D2D8");
V77_CHECK_INTERFACE(IV77ReceiverAuxiliary,    IUnknown,         "78AE5430-B2EE-4F29-941E-28D974D755C7");
V77_CHECK_INTERFACE(IV77UdpAudioReceiver,     IUnknown,         "ECB7C4F5-4207-400F-8EF7-53131C81DFC5");
V77_CHECK_SHAPE(IV77TCPChannel, IUnknown);
V77_CHECK_SHAPE(IV77StreamServer, IUnknown);
V77_CHECK_SHAPE(IV77StreamSink, IUnknown);
V77_CHECK_SHAPE(IV77ImageSink, IUnknown);
V77_CHECK_INTERFACE(IV77RequestCompletion,    IUnknown,         "E9CEE7E7-EF90-4E30-A14D-336094277D77");
V77_CHECK_INTERFACE(IV77DsOverlayRenderer,    IUnknown,         "66FC512B-0CC0-4AEC-826E-C47572D119E1");
V77_CHECK_INTERFACE(IV77DsImageRenderer,      IUnknown,         "CCC32F40-C374-452E-985D-F947BFCCA2D4");
V77_CHECK_INTERFACE(IV77DsNetworkRenderer,    IUnknown,         "A0D394B0-E0B0-43B0-B7AB-9D96B31BC992");
V77_CHECK_INTERFACE(IV77ImageSource,          IUnknown,         "D69ADEB2-4E0C-4098-99D9-A716FE4F5655");
V77_CHECK_INTERFACE(IV77DsAviFileRenderer,    IUnknown,         "7A08B67F-7C52-4C09-A6F2-01923FBDE371");
V77_CHECK_INTERFACE(IV77TCPChannelDataEvents, IUnknown,         "12399638-7CE3-403F-BDFA-1D5A7F59313C");
V77_CHECK_INTERFACE(IV77DsTCPAudioRenderer,   IUnknown,         "1E1AC8D0-99B2-4F1E-BEA3-3EC349460465");
V77_CHECK_INTERFACE(IV77DsUdpAudioSource,     IUnknown,         "D66FDD6D-71A6-494E-98E8-C95281356CA5");
V77_CHECK_INTERFACE(IUdpEvent,                IUnknown,         "18C61EF7-0F67-4D39-98D5-25393F8C14E5");
V77_CHECK_INTERFACE(IV77AudioMute,            IUnknown,         "F4FF7E4D-C261-4238-9387-937F523A63CB");
V77_CHECK_INTERFACE(IV77Resize,               IUnknown,         "C79859EA-76C5-495D-B49E-B4D4A0E8CC76");
V77_CHECK_IID(IV77DsBuffer, "1DE43E5D-4150-4D15-872D-473317C1828D");
V77_CHECK_IID(IV77DsBufferNotify, "05EF0726-AD2A-4C97-A91F-268FB1271707");
V77_CHECK_IID(IV77SamplePool, "61B5E67A-77FD-48F6-B0DD-A797B8B4AA94");
V77_CHECK_IID(IV77PoolItem, "FDA0D70C-59D1-42A8-8F3A-AB4497D497E2");

// The two source interfaces extend the shared base, nothing else.
static_assert(!std::is_base_of_v<IV77DsNetworkSource, IV77DsARCSource> &&
              !std::is_base_of_v<IV77DsARCSource, IV77DsNetworkSource>, "siblings");

// ---- method types ---------------------------------------------------------------
// Each method has exactly the argument and result types of its slot; the class
// in the member pointer is the one that declares it (a base's method stays the
// base's slot).

#define V77_CHECK_METHOD(I, M, R, ...) \
    static_assert(std::is_same_v<decltype(&I::M), R (STDMETHODCALLTYPE I::*)(__VA_ARGS__)>, #I "::" #M)

V77_CHECK_METHOD(IV77DsSourceBase, GetMediaType, HRESULT, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77DsSourceBase, GetSourceInformation, HRESULT, SOURCE_INFORMATION*);
static_assert(std::is_same_v<decltype(&IV77DsNetworkSource::GetSourceInformation),
                             HRESULT (STDMETHODCALLTYPE IV77DsSourceBase::*)(SOURCE_INFORMATION*)>,
              "inherited from the shared base");
static_assert(std::is_same_v<decltype(&IV77DsARCSource::GetMediaType),
                             HRESULT (STDMETHODCALLTYPE IV77DsSourceBase::*)(AM_MEDIA_TYPE*)>,
              "inherited from the shared base");

V77_CHECK_METHOD(IV77DsNetworkSource, Open, HRESULT, BSTR, BSTR, WORD, DWORD, WORD, SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77DsNetworkSource, GetBitRate, HRESULT, double*);
V77_CHECK_METHOD(IV77DsNetworkSource, SetStreamParameter, HRESULT, WORD);
V77_CHECK_METHOD(IV77DsNetworkSource, SetUseOwnAllocator, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsNetworkSource, Reconnect, HRESULT, void);
V77_CHECK_METHOD(IV77DsNetworkSource, EnableOutput, HRESULT, int, BOOL);
V77_CHECK_METHOD(IV77DsNetworkSource, SetTimeParameter, HRESULT, double);
V77_CHECK_METHOD(IV77DsNetworkSource, EnableDisplayNotification, HRESULT, BOOL);

V77_CHECK_METHOD(IV77RTPReceiverEvents, GetBuffer, HRESULT, IUnknown*, IMediaSample**);
V77_CHECK_METHOD(IV77RTPReceiverEvents, OnSample, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77RTPReceiverEvents, OnStreamEventA, HRESULT, void);
V77_CHECK_METHOD(IV77RTPReceiverEvents, OnStreamEventB, HRESULT, void);

V77_CHECK_METHOD(IV77TcpReceiver, Configure, HRESULT, DWORD, double, DWORD);
V77_CHECK_METHOD(IV77DsAviSource, Configure, HRESULT, DWORD, DWORD);

V77_CHECK_METHOD(IV77DsARCSource, Open, HRESULT, BSTR, BSTR, BOOL, SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77DsARCSource, AuxiliaryCommand1, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77DsARCSource, AuxiliaryCommand2, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77DsARCSource, AuxiliaryCommand3, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77DsARCSource, SetAutoRestart, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsARCSource, SetPlayOption, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsARCSource, GetBitRate, HRESULT, double*);
V77_CHECK_METHOD(IV77DsARCSource, SetUseOwnAllocator, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsARCSource, GetReceiver, HRESULT, IUnknown**);

V77_CHECK_METHOD(IV77ARCReceiverEvents, GetBuffer, HRESULT, IUnknown*, IMediaSample**);
V77_CHECK_METHOD(IV77ARCReceiverEvents, OnSample, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77ARCReceiverEvents, OnPlaybackEnd, HRESULT, HRESULT, LONG, DWORD, REFERENCE_TIME);
V77_CHECK_METHOD(IV77ARCReceiverEvents, OnRequest, HRESULT, REFERENCE_TIME*, DWORD*, WORD*);

V77_CHECK_METHOD(IV77PushSource, SetFormat, HRESULT, const AM_MEDIA_TYPE*, DWORD);
V77_CHECK_METHOD(IV77PushSource, PushSample, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77PushSource, GetBuffer, HRESULT, IUnknown*, IMediaSample**);
V77_CHECK_METHOD(IV77PushSource, EndOfStream, HRESULT, void);

V77_CHECK_METHOD(IV77WindowSpy, SetSize, HRESULT, const SIZE*);
V77_CHECK_METHOD(IV77WindowSpy, SetWindow, HRESULT, HWND, const RECT*, LONG);
V77_CHECK_METHOD(IV77WindowSpy, EnableTimeStamps, HRESULT, BOOL);

V77_CHECK_METHOD(IV77LiveReceiver, Open, HRESULT, BSTR, BSTR, DWORD, WORD, IV77RTPReceiverEvents*);
V77_CHECK_METHOD(IV77LiveReceiver, Close, HRESULT, void);
V77_CHECK_METHOD(IV77LiveReceiver, IsOpen, HRESULT, void);
V77_CHECK_METHOD(IV77LiveReceiver, GetSourceInformation, HRESULT, SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77LiveReceiver, GetMediaType, HRESULT, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77LiveReceiver, SetStreaming, HRESULT, DWORD, WORD);
V77_CHECK_METHOD(IV77LiveReceiver, SetStreamParameter, HRESULT, WORD);
V77_CHECK_METHOD(IV77LiveReceiver, GetAuxiliaryInterface, HRESULT, void**);
V77_CHECK_METHOD(IV77LiveReceiver, SetTimeParameter, HRESULT, REFERENCE_TIME);
V77_CHECK_METHOD(IV77LiveReceiver, GetAverageFrameSize, HRESULT, double*);

V77_CHECK_METHOD(IV77ArchiveReceiver, Open, HRESULT, BSTR, BSTR, IV77ARCReceiverEvents*, DWORD,
                 SOURCE_INFORMATION*, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77ArchiveReceiver, Play, HRESULT, REFERENCE_TIME, DWORD, WORD);
V77_CHECK_METHOD(IV77ArchiveReceiver, Prepare, HRESULT, void);
V77_CHECK_METHOD(IV77ArchiveReceiver, Stop, HRESULT, void);

V77_CHECK_METHOD(IV77ReceiverAuxiliary, Attach, HRESULT, BSTR, BSTR);
V77_CHECK_METHOD(IV77ReceiverAuxiliary, Command7, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77ReceiverAuxiliary, Command8, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77ReceiverAuxiliary, Command9, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77ReceiverAuxiliary, GetAverageFrameSize, HRESULT, double*);
V77_CHECK_METHOD(IV77ReceiverAuxiliary, GetOverlayConfiguration, HRESULT, long, BSTR*);

V77_CHECK_METHOD(IV77UdpAudioReceiver, UdpMethod16, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77UdpAudioReceiver, UdpMethod17, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77UdpAudioReceiver, GetChannelCount, LONG, void);
V77_CHECK_METHOD(IV77UdpAudioReceiver, Advise, HRESULT, long, IUdpEvent*);
V77_CHECK_METHOD(IV77UdpAudioReceiver, Unadvise, HRESULT, long);
V77_CHECK_METHOD(IV77UdpAudioReceiver, EnableChannel, HRESULT, long, BOOL);

V77_CHECK_METHOD(IV77TCPChannel, SendSample, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77StreamServer, RegisterSource, HRESULT, DWORD, DWORD, IV77ImageSource*, LONGLONG);
V77_CHECK_METHOD(IV77StreamSink, DeliverSample, HRESULT, IMediaSample*, const LONGLONG*);
V77_CHECK_METHOD(IV77StreamSink, SetActive, HRESULT, BOOL);
V77_CHECK_METHOD(IV77ImageSink, Deliver, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77RequestCompletion, RequestDone, HRESULT, HRESULT, LONG, DWORD, REFERENCE_TIME);

// The image renderer passes RequestDone through unchanged: both ends must agree.
static_assert(std::is_same_v<decltype(&IV77DsBufferNotify::RequestDone),
                             HRESULT (STDMETHODCALLTYPE IV77DsBufferNotify::*)(HRESULT, LONG, DWORD, REFERENCE_TIME)>,
              "buffer notify and request completion carry the same arguments");

V77_CHECK_METHOD(IV77DsOverlayRenderer, Draw, HRESULT, HDC, const RECT*, const RECT*);
V77_CHECK_METHOD(IV77DsOverlayRenderer, IsModified, HRESULT, void);
V77_CHECK_METHOD(IV77DsOverlayRenderer, SetSensorName, HRESULT, BSTR);
V77_CHECK_METHOD(IV77DsOverlayRenderer, CreateOverlay, HRESULT, void);
V77_CHECK_METHOD(IV77DsOverlayRenderer, DrawInfo, HRESULT, HDC, const RECT*);

V77_CHECK_METHOD(IV77DsImageRenderer, SetSink, HRESULT, IUnknown*, DWORD);
V77_CHECK_METHOD(IV77DsImageRenderer, SetRequiredType, HRESULT, const AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77DsImageRenderer, GetSourceInformation, HRESULT, SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77DsImageRenderer, GetPoolEntry, HRESULT, DWORD, DWORD*);
V77_CHECK_METHOD(IV77DsImageRenderer, GetConnectedType, HRESULT, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77DsImageRenderer, SetSamplePool, HRESULT, IUnknown*);

V77_CHECK_METHOD(IV77DsNetworkRenderer, SetClockSync, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsNetworkRenderer, Publish, HRESULT, DWORD, DWORD, IUnknown*);
V77_CHECK_METHOD(IV77DsNetworkRenderer, SetSourceInformation, HRESULT, const SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77DsNetworkRenderer, PushSample, HRESULT, IMediaSample*);

V77_CHECK_METHOD(IV77ImageSource, Advise, HRESULT, IUnknown*, DWORD*);
V77_CHECK_METHOD(IV77ImageSource, Unadvise, HRESULT, DWORD);
V77_CHECK_METHOD(IV77ImageSource, GetSourceInformation, HRESULT, SOURCE_INFORMATION*);
V77_CHECK_METHOD(IV77ImageSource, GetAverageSampleSize, HRESULT, double*);
V77_CHECK_METHOD(IV77ImageSource, Reserved7, HRESULT, DWORD);
V77_CHECK_METHOD(IV77ImageSource, Reserved8, HRESULT, DWORD, DWORD, DWORD);
V77_CHECK_METHOD(IV77ImageSource, Reserved11, HRESULT, DWORD, DWORD, DWORD, DWORD, DWORD);
V77_CHECK_METHOD(IV77ImageSource, GetMediaType, HRESULT, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77ImageSource, Reserved13, HRESULT, DWORD);

V77_CHECK_METHOD(IV77DsAviFileRenderer, SetFileName, HRESULT, LPCWSTR, LPCWSTR);

V77_CHECK_METHOD(IV77TCPChannelDataEvents, GetBuffer, HRESULT, IMediaSample**);
V77_CHECK_METHOD(IV77TCPChannelDataEvents, OnSample, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77DsTCPAudioRenderer, SetChannel, HRESULT, IUnknown*);

V77_CHECK_METHOD(IV77DsUdpAudioSource, OpenAllChannels, HRESULT, AM_MEDIA_TYPE*);
V77_CHECK_METHOD(IV77DsUdpAudioSource, SelectChannel, HRESULT, long);
V77_CHECK_METHOD(IV77DsUdpAudioSource, UdpMethod16, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77DsUdpAudioSource, UdpMethod17, HRESULT, DWORD, DWORD);
V77_CHECK_METHOD(IV77DsUdpAudioSource, SetMute, HRESULT, BOOL);
V77_CHECK_METHOD(IV77DsUdpAudioSource, OpenChannel, HRESULT, AM_MEDIA_TYPE*, long);
V77_CHECK_METHOD(IUdpEvent, OnData, HRESULT, IMediaSample*);
V77_CHECK_METHOD(IV77AudioMute, SetMute, HRESULT, BOOL);

V77_CHECK_METHOD(IV77Resize, SetOutputSize, HRESULT, const SIZE*);
V77_CHECK_METHOD(IV77Resize, SetSourceRect, HRESULT, const RECT*);
V77_CHECK_METHOD(IV77Resize, SetFramePeriod, HRESULT, REFERENCE_TIME);

// Counts returned as the result, not as an HRESULT.
V77_CHECK_METHOD(IV77SamplePool, GetFreeCount, DWORD, void);
V77_CHECK_METHOD(IV77PoolItem, GetDataLength, DWORD, void);

// ---- records --------------------------------------------------------------------

static_assert(sizeof(SOURCE_INFORMATION) == 32 && alignof(SOURCE_INFORMATION) == 8,
              "the 32-byte, 8-byte aligned stream description");
static_assert(offsetof(SOURCE_INFORMATION, AvgTimePerFrame) == 0, "frame time first");
static_assert(sizeof(V77_COMMAND_RECORD) == 48, "the 48-byte command record");
static_assert(sizeof(REFERENCE_TIME) == 8 && sizeof(WORD) == 2 && sizeof(DWORD) == 4 && sizeof(BOOL) == 4,
              "argument widths the slots rely on");

}  // namespace
