// Decoder filters the platform registers for a compressed video subtype, as
// the filter mapper offers them, and their insertion behind an output pin
// (the first that actually connects wins: a registered candidate may still
// lack the codec underneath).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <string>
#include <vector>
#include <wrl/client.h>

struct HostDecoderCandidate {
    std::string name;
    CLSID clsid;
};

// Filters registered (any merit above "do not use") with a video input of
// that FOURCC subtype and a video output.
HRESULT FindDecoderCandidates(DWORD fourcc, std::vector<HostDecoderCandidate>* candidates);

// Adds and connects the first candidate that takes out's media type; its
// output pin in *decoded. VFW_E_CANNOT_CONNECT when none does.
HRESULT InsertDecoder(IGraphBuilder* graph, IPin* out, DWORD fourcc, Microsoft::WRL::ComPtr<IPin>* decoded,
                      std::string* name);
