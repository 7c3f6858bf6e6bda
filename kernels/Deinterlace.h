// Vertical blend deinterlace over 8-bit rows.
//
// Every output byte mixes the byte of its own line (c) with the bytes at the
// same position on the line above (a) and the line below (b):
//
//     out = (c * (512 - 2w) + (a + b) * w + 256) >> 9
//
// that is out = round(c * (1 - w/256) + (a + b) / 2 * w/256), with the weight w
// the neighbours' share in 1/256 (0 copies the picture, 128 is the classic
// [1 2 1] / 4 line blend, 256 replaces each line by the mean of its
// neighbours). Weights above 256 act as 256. The first and the last row have
// one neighbour only; it stands in for the missing one as well (mirror), so a
// single row comes out unchanged.
//
// src and dst must not overlap (each output row reads three input rows).
// Steps are in bytes and may be negative (bottom-up pictures); rowBytes or
// rows below 1 do nothing.
#pragma once

#include <cstdint>

using V77DeinterlaceFn = void (*)(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                                  uint16_t weight, int rowBytes, int rows);

// Dispatched once to the best build for this processor.
void V77Deinterlace(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                    uint16_t weight, int rowBytes, int rows);

// The individual builds; both give the same bytes.
void V77DeinterlacePlain(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                         uint16_t weight, int rowBytes, int rows);
void V77DeinterlaceSse2(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                        uint16_t weight, int rowBytes, int rows);

// The build chosen for a feature word (V77ProcessorFeatures()).
V77DeinterlaceFn V77SelectDeinterlace(uint32_t features);
