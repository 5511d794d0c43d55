// Byte helpers for the adapter's big-endian layouts.
#ifndef TAVSIM_SIM_CODEC_H
#define TAVSIM_SIM_CODEC_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tavsim {

inline void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline void put64(uint8_t* p, uint64_t v) {
    put32(p, static_cast<uint32_t>(v >> 32));
    put32(p + 4, static_cast<uint32_t>(v));
}

inline uint32_t get16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
inline uint32_t get24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
inline uint32_t get32(const uint8_t* p) { return (get16(p) << 16) | get16(p + 2); }
inline uint64_t get64(const uint8_t* p) { return (uint64_t{get32(p)} << 32) | get32(p + 4); }

// Copies a fixed-width text field, padding with `pad` after the text ends.
inline void putText(uint8_t* dst, const char* src, size_t width, char pad = ' ') {
    size_t i = 0;
    for (; i < width && src[i] != '\0'; ++i) dst[i] = static_cast<uint8_t>(src[i]);
    for (; i < width; ++i) dst[i] = static_cast<uint8_t>(pad);
}

// Copies text into a fixed char field, zero-padded, never terminated beyond the field.
inline void setField(char* dst, size_t width, const char* src) {
    std::memset(dst, 0, width);
    for (size_t i = 0; i < width && src[i] != '\0'; ++i) dst[i] = src[i];
}

}  // namespace tavsim

#endif
