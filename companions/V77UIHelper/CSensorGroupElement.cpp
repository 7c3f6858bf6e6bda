#include "companions/V77UIHelper/CSensorGroupElement.h"

#include <oleauto.h>
#include <cwchar>
#include <cwctype>
#include <wrl/client.h>

#include "companions/V77Global/V77ErrorBoundary.h"
#include "companions/V77UIHelper/rle/V77RunLength.h"

using Microsoft::WRL::ComPtr;

namespace {

// A BSTR released on scope exit.
class CBstr {
public:
    explicit CBstr(const wchar_t* text = nullptr) : m_Value(text ? SysAllocString(text) : nullptr) {}
    ~CBstr() { SysFreeString(m_Value); }
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    BSTR Get() const { return m_Value; }
    BSTR* Out() { SysFreeString(m_Value); m_Value = nullptr; return &m_Value; }

private:
    BSTR m_Value;
};

// The attribute's text; false when the element has no such attribute.
bool Attribute(IXMLDOMElement* element, const wchar_t* name, std::wstring* value)
{
    CBstr key(name);
    VARIANT v;
    VariantInit(&v);
    const HRESULT hr = element->getAttribute(key.Get(), &v);
    V77_CHECK_HR(hr);
    const bool present = hr == S_OK && v.vt == VT_BSTR;
    if (present)
        value->assign(v.bstrVal ? v.bstrVal : L"");
    VariantClear(&v);
    return present;
}

// Attribute names are ASCII.
std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text)
        out.push_back(static_cast<char>(*text));
    return out;
}

// A whole decimal number within [minimum, maximum].
bool Number(const std::wstring& text, LONG minimum, LONG maximum, LONG* value)
{
    if (text.empty() || text.size() > 10)
        return false;
    long long n = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return false;
        n = n * 10 + (c - L'0');
    }
    if (n < minimum || n > maximum)
        return false;
    *value = static_cast<LONG>(n);
    return true;
}

bool NumberAttribute(IXMLDOMElement* element, const wchar_t* name, LONG minimum, LONG maximum, LONG* value,
                     std::string* reason, bool required)
{
    std::wstring text;
    if (!Attribute(element, name, &text)) {
        if (required)
            *reason = "missing attribute " + Narrow(name);
        return !required;
    }
    if (!Number(text, minimum, maximum, value)) {
        *reason = "attribute " + Narrow(name) + " is not a whole number from " + std::to_string(minimum) + " to " +
                  std::to_string(maximum);
        return false;
    }
    return true;
}

// "RRGGBB", with or without a leading '#'.
bool Colour(const std::wstring& text, V77Rgb* colour)
{
    std::wstring hex = !text.empty() && text[0] == L'#' ? text.substr(1) : text;
    if (hex.size() != 6)
        return false;
    unsigned long value = 0;
    for (wchar_t c : hex) {
        if (!std::iswxdigit(c))
            return false;
        value = value * 16 + (c <= L'9' ? c - L'0' : (std::towlower(c) - L'a' + 10));
    }
    *colour = V77Rgb{static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value)};
    // Black is the overlay's transparent key: the darkest visible colour stands in.
    if (value == 0)
        *colour = V77Rgb{1, 1, 1};
    return true;
}

std::string Ansi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string out(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr,
                            nullptr);
    return out;
}

// Alternating clear and set run lengths, starting with clear.
bool ApplyRuns(const std::wstring& text, std::vector<uint8_t>* pixels)
{
    size_t position = 0;
    bool set = false;
    const wchar_t* p = text.c_str();
    while (*p) {
        while (*p && std::iswspace(*p))
            ++p;
        if (!*p)
            break;
        const wchar_t* start = p;
        while (*p && !std::iswspace(*p))
            ++p;
        LONG length = 0;
        if (!Number(std::wstring(start, p), 0, 0x7FFFFFFF, &length))
            return false;
        const size_t end = position + static_cast<size_t>(length) < pixels->size()
                               ? position + static_cast<size_t>(length) : pixels->size();
        if (set)
            std::fill(pixels->begin() + static_cast<ptrdiff_t>(position), pixels->begin() + static_cast<ptrdiff_t>(end), 1);
        position = end;
        set = !set;
    }
    return true;
}

// Every <rect> child, clipped to the plane; a rectangle with a bad number fails the group.
bool ApplyRects(IXMLDOMElement* element, LONG width, LONG height, std::vector<uint8_t>* pixels, std::string* reason)
{
    CBstr tag(L"rect");
    ComPtr<IXMLDOMNodeList> list;
    V77_CHECK_HR(element->getElementsByTagName(tag.Get(), list.GetAddressOf()));
    long count = 0;
    V77_CHECK_HR(list->get_length(&count));
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> node;
        ComPtr<IXMLDOMElement> rect;
        if (FAILED(list->get_item(i, node.GetAddressOf())) || !node || FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(rect.GetAddressOf()))))
            continue;
        LONG left = 0, top = 0, right = 0, bottom = 0;
        if (!NumberAttribute(rect.Get(), L"left", 0, CSensorGroupElement::kMaxSide, &left, reason, true) ||
            !NumberAttribute(rect.Get(), L"top", 0, CSensorGroupElement::kMaxSide, &top, reason, true) ||
            !NumberAttribute(rect.Get(), L"right", 0, CSensorGroupElement::kMaxSide, &right, reason, true) ||
            !NumberAttribute(rect.Get(), L"bottom", 0, CSensorGroupElement::kMaxSide, &bottom, reason, true)) {
            *reason = "bad rect: " + *reason;
            return false;
        }
        for (LONG y = top; y < bottom && y < height; ++y)
            for (LONG x = left; x < right && x < width; ++x)
                (*pixels)[static_cast<size_t>(y) * width + x] = 1;
    }
    return true;
}

}  // namespace

bool CSensorGroupElement::Read(IXMLDOMElement* element, CSensorGroupElement* group, std::string* reason)
{
    if (!element) {
        *reason = "no element";
        return false;
    }
    CSensorGroupElement g;
    std::wstring text;
    if (Attribute(element, L"name", &text))
        g.name = Ansi(text);
    if (!NumberAttribute(element, L"width", 1, kMaxSide, &g.width, reason, true) ||
        !NumberAttribute(element, L"height", 1, kMaxSide, &g.height, reason, true) ||
        !NumberAttribute(element, L"low", 0, 100, &g.low, reason, false) ||
        !NumberAttribute(element, L"high", 0, 100, &g.high, reason, false))
        return false;
    if (!Attribute(element, L"color", &text) || !Colour(text, &g.color)) {
        *reason = "missing or bad attribute color (RRGGBB)";
        return false;
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
    CBstr runsTag(L"runs");
    ComPtr<IXMLDOMNodeList> runs;
    V77_CHECK_HR(element->getElementsByTagName(runsTag.Get(), runs.GetAddressOf()));
    ComPtr<IXMLDOMNode> runsNode;
    if (runs->get_item(0, runsNode.GetAddressOf()) == S_OK && runsNode) {
        CBstr runsText;
        V77_CHECK_HR(runsNode->get_text(runsText.Out()));
        if (!ApplyRuns(runsText.Get() ? runsText.Get() : L"", &pixels)) {
            *reason = "runs: not a list of whole numbers";
            return false;
        }
    }
    if (!ApplyRects(element, g.width, g.height, &pixels, reason))
        return false;
    g.region = v77::EncodeRunLengthPixels(pixels.data(), g.width, g.height);
    *group = std::move(g);
    return true;
}
