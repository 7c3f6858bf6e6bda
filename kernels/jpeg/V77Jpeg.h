// Baseline JPEG (JFIF) encoder with the call shape of the JPEG library the
// renderers were designed around: a properties record filled by the caller,
// Init / Write / Free, and an error code (0 success, negative failure).
//
// Input: 24-bit BGR rows, top row first, width * 3 bytes followed by
// DIBPadBytes pad bytes per row. Output: SOI, JFIF APP0, COM (the comment),
// DQT, SOF0, DHT (the standard tables of ITU-T T.81 Annex K), SOS, the
// entropy-coded data and EOI, written into the caller's buffer.
//   colour: 3 components YCbCr (JFIF full range), 4:2:0 (V77_JPEG_411);
//   grey:   1 component, no subsampling.
// Sizes that are not multiples of the block size are padded by repeating the
// last column and row.
#pragma once

#include <cstdint>

enum V77_JPEG_COLOR : int32_t {
    V77_JPEG_COLOR_UNKNOWN = 0,
    V77_JPEG_GRAY = 1,
    V77_JPEG_RGB = 2,
    V77_JPEG_BGR = 3,
    V77_JPEG_YCBCR = 4,
};

enum V77_JPEG_SUBSAMPLING : int32_t {
    V77_JPEG_NONE = 0,  // every component at full resolution
    V77_JPEG_411 = 1,   // chroma halved both ways (4:2:0)
};

enum V77_JPEG_MODE : int32_t {
    V77_JPEG_WRITE_WHOLE_IMAGE = 9,  // the only mode: one call, whole image
};

enum V77_JPEG_ERROR : int32_t {
    V77_JPEG_OK = 0,
    V77_JPEG_ERR_NULL_ARGUMENT = -1,     // props, DIBBytes or JPGBytes is null
    V77_JPEG_ERR_NOT_INITIALIZED = -2,   // V77JpegInit was not called
    V77_JPEG_ERR_BAD_MODE = -3,          // mode is not V77_JPEG_WRITE_WHOLE_IMAGE
    V77_JPEG_ERR_BAD_SIZE = -4,          // width/height < 1 or > 65535, DIB and JPG sizes differ, negative padding
    V77_JPEG_ERR_UNSUPPORTED = -5,       // channel, colour or subsampling combination
    V77_JPEG_ERR_BUFFER_TOO_SMALL = -6,  // the JPEG does not fit into JPGSizeBytes
    V77_JPEG_ERR_COMMENT_TOO_LONG = -7,  // more than 65533 comment bytes
    V77_JPEG_ERR_NO_MEMORY = -8,
};

struct V77_JPEG_PROPERTIES {
    // Picture to encode.
    const uint8_t* DIBBytes;
    int32_t DIBWidth;
    int32_t DIBHeight;    // rows, top row first
    int32_t DIBPadBytes;  // bytes after each row's width * 3 pixel bytes
    int32_t DIBChannels;  // 3
    V77_JPEG_COLOR DIBColor;              // V77_JPEG_BGR
    V77_JPEG_SUBSAMPLING DIBSubsampling;  // V77_JPEG_NONE

    // Output buffer; JPGSizeBytes is its capacity on entry and the JPEG's
    // length after a successful V77JpegWrite, 0 after a failed one.
    uint8_t* JPGBytes;
    uint32_t JPGSizeBytes;
    int32_t JPGWidth;   // must equal DIBWidth
    int32_t JPGHeight;  // must equal DIBHeight
    int32_t JPGChannels;                  // 3 colour, 1 grey
    V77_JPEG_COLOR JPGColor;              // V77_JPEG_YCBCR or V77_JPEG_GRAY
    V77_JPEG_SUBSAMPLING JPGSubsampling;  // V77_JPEG_411 colour, V77_JPEG_NONE grey

    int32_t jquality;  // 1..100; values outside are clamped

    // Bytes of the COM segment, written as given. A null pointer or a size of
    // 0 writes a one-byte comment holding 0.
    const void* JPGComment;
    uint32_t JPGCommentBytes;

    void* internal;  // encoder state owned by Init / Free; do not touch
};

// Fills props with defaults (BGR in, colour 4:2:0 out, quality 75, no
// buffers) and creates the encoder state. Overwrites every field, so a props
// that still holds a state must be freed first.
int32_t V77JpegInit(V77_JPEG_PROPERTIES* props);

// Releases the encoder state; safe to call twice.
int32_t V77JpegFree(V77_JPEG_PROPERTIES* props);

// Encodes the picture. On failure nothing past JPGSizeBytes is written,
// JPGSizeBytes becomes 0 and the state stays usable for the next call.
int32_t V77JpegWrite(V77_JPEG_PROPERTIES* props, int32_t mode);
