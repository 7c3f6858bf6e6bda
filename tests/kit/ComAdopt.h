// Takes over a reference the caller already owns (what a Create() returns).
// Needed because mingw-w64's ComPtr::Attach AddRefs, unlike the Windows SDK's:
// ptr.Attach(Create()) leaks one reference there.
#pragma once

#include <wrl/client.h>

template <class T>
Microsoft::WRL::ComPtr<T> Adopt(T* owned)
{
    Microsoft::WRL::ComPtr<T> adopted;
    *adopted.GetAddressOf() = owned;
    return adopted;
}
