#include "companions/V77UIHelper/CSensorBase.h"

#include <oleauto.h>
#include <string>
#include <wrl/client.h>

#include "companions/V77Global/CGlobalErrorHandlingEnvironment.h"
#include "companions/V77Global/V77ErrorBoundary.h"
#include "companions/V77UIHelper/CSensorGroupElement.h"

using Microsoft::WRL::ComPtr;

namespace {

// MSXML 6 where installed, else 3 (both answer IXMLDOMDocument).
const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
const CLSID kDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};

// COM for the calling thread when its owner has not set it up.
class CComForThisCall {
public:
    CComForThisCall() : m_bInitialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~CComForThisCall()
    {
        if (m_bInitialized)
            CoUninitialize();
    }

private:
    bool m_bInitialized;
};

ComPtr<IXMLDOMDocument> CreateDocument()
{
    ComPtr<IXMLDOMDocument> document;
    HRESULT hr = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                  reinterpret_cast<void**>(document.GetAddressOf()));
    if (FAILED(hr))
        hr = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              reinterpret_cast<void**>(document.GetAddressOf()));
    V77_CHECK_HR(hr);
    return document;
}

void LogParseError(IXMLDOMDocument* document)
{
    ComPtr<IXMLDOMParseError> error;
    long code = 0, line = 0;
    BSTR reason = nullptr;
    if (SUCCEEDED(document->get_parseError(error.GetAddressOf())) && error) {
        error->get_errorCode(&code);
        error->get_line(&line);
        error->get_reason(&reason);
    }
    g_ErrorHandling.WriteLog("zone configuration does not parse (0x%08lX, line %ld): %ls\n",
                             static_cast<unsigned long>(code), line, reason ? reason : L"");
    SysFreeString(reason);
}

}  // namespace

CSensorBase::~CSensorBase() = default;

void CSensorBase::InitializeXML(wchar_t* xml)
{
    m_Groups.clear();
    CComForThisCall com;
    ComPtr<IXMLDOMDocument> document = CreateDocument();
    V77_CHECK_HR(document->put_async(VARIANT_FALSE));
    BSTR text = SysAllocString(xml ? xml : L"");
    if (!text)
        V77_THROW_HR(E_OUTOFMEMORY);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->loadXML(text, &loaded);
    SysFreeString(text);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        LogParseError(document.Get());
        return;
    }
    BSTR tag = SysAllocString(L"sensorGroup");
    ComPtr<IXMLDOMNodeList> list;
    const HRESULT hrList = document->getElementsByTagName(tag, list.GetAddressOf());
    SysFreeString(tag);
    V77_CHECK_HR(hrList);
    long count = 0;
    V77_CHECK_HR(list->get_length(&count));
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        ComPtr<IXMLDOMElement> element;
        if (FAILED(list->get_item(i, node.GetAddressOf())) || !node || FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf()))))
            continue;
        CSensorGroupElement checked;
        std::string reason;
        if (!CSensorGroupElement::Read(element.Get(), &checked, &reason)) {
            g_ErrorHandling.WriteLog("zone configuration: sensor group %ld left out: %s\n", i, reason.c_str());
            continue;
        }
        std::unique_ptr<CSensorGroupBase> group(CreateGroup(element.Get()));
        if (group)
            m_Groups.push_back(std::move(group));
    }
}
