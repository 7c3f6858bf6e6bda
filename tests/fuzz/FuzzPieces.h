// Shared by the stream-reader fuzz targets: the input after its first byte,
// handed out in pieces of 1..maxStep bytes (the first byte picks the size) as
// a socket might deliver them. Each piece is a copy of exactly its length, so
// AddressSanitizer catches a read past it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

template <typename Push>
void ForEachPiece(const uint8_t* data, size_t size, size_t maxStep, Push push)
{
    if (size == 0)
        return;
    const size_t step = 1 + data[0] % maxStep;
    for (size_t at = 1; at < size; at += step) {
        const std::vector<uint8_t> piece(data + at, data + std::min(size, at + step));
        push(piece.data(), piece.size());
    }
}

// Reads every byte a reader hands out, so a claim past its buffer is caught.
inline void TouchAll(const uint8_t* p, size_t n)
{
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < n; ++i)
        sink = sink + p[i];
}
