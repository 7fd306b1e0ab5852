// The widest vector of the instruction set this file is compiled for, and the byte mixes that
// the stretch builds on. Included, through KernelsImpl.h, once per kernel set.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

inline uint32_t Word(const uint8_t* P) {
  uint32_t w;
  __builtin_memcpy(&w, P, 4);
  return w;
}

// ---- The widest vector of this set, as 8-bit and 16-bit lanes. ----
#if defined(__AVX512BW__)
using V = __m512i;
inline V Load(const void* P) { return _mm512_loadu_si512(P); }
inline void Store(void* P, V X) { _mm512_storeu_si512(P, X); }
inline void Stream(void* P, V X) { _mm512_stream_si512(static_cast<__m512i*>(P), X); }
inline V Zero() { return _mm512_setzero_si512(); }
inline V Xor(V A, V B) { return _mm512_xor_si512(A, B); }
inline V Add16(V A, V B) { return _mm512_add_epi16(A, B); }
inline V Mul16(V A, V B) { return _mm512_mullo_epi16(A, B); }
inline V Shr8(V A) { return _mm512_srli_epi16(A, 8); }
inline V And(V A, V B) { return _mm512_and_si512(A, B); }
inline V Or(V A, V B) { return _mm512_or_si512(A, B); }
inline V Words(short W) { return _mm512_set1_epi16(W); }
inline V Shl8(V A) { return _mm512_slli_epi16(A, 8); }
inline V SubsU8(V A, V B) { return _mm512_subs_epu8(A, B); }  // per byte A - B, at least 0
inline V Dwords(uint32_t W) { return _mm512_set1_epi32(static_cast<int>(W)); }
// Pieces moved one place up (R[i] = X[i-1]), the first from the last of Prev; and one place down
// (R[i] = X[i+1]), the last from the first of Next. Pieces are 32 bits.
inline V ShiftUp(V X, V Prev) { return _mm512_alignr_epi32(X, Prev, 15); }
// Within each 128-bit quarter: the low or high two 32-bit (or the low or high 64-bit) pieces of
// A and B, interleaved.
inline V UnpackLo32(V A, V B) { return _mm512_unpacklo_epi32(A, B); }
inline V UnpackHi32(V A, V B) { return _mm512_unpackhi_epi32(A, B); }
inline V UnpackLo64(V A, V B) { return _mm512_unpacklo_epi64(A, B); }
inline V UnpackHi64(V A, V B) { return _mm512_unpackhi_epi64(A, B); }
constexpr int kQuarters = 4;
// A vector whose quarter q is the 16 bytes at P[q], put in place by broadcast loads.
inline V LoadQuarters(const uint8_t* const* P) {
  V x = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P[0])));
  for (int q = 1; q < 4; ++q)
    x = _mm512_mask_broadcast_i32x4(x, __mmask16(0xF << (4 * q)), _mm_loadu_si128(reinterpret_cast<const __m128i*>(P[q])));
  return x;
}
inline __m128i Quarter(V X, int Q) {
  switch (Q) {
    case 0: return _mm512_castsi512_si128(X);
    case 1: return _mm512_extracti32x4_epi32(X, 1);
    case 2: return _mm512_extracti32x4_epi32(X, 2);
    default: return _mm512_extracti32x4_epi32(X, 3);
  }
}
inline V ShiftDown(V X, V Next) { return _mm512_alignr_epi32(Next, X, 1); }
inline V MulHi16(V A, V B) { return _mm512_mulhi_epu16(A, B); }
// Transposes 16 vectors of 16 32-bit pieces: R[k][i] becomes R[i][k].
inline void Transpose32(V (&R)[16]) {
  V t[16], u[16];
  for (int k = 0; k < 8; ++k) {
    t[2 * k] = _mm512_unpacklo_epi32(R[2 * k], R[2 * k + 1]);
    t[2 * k + 1] = _mm512_unpackhi_epi32(R[2 * k], R[2 * k + 1]);
  }
  // u[4k + c], in 128-bit lane q: piece 4q + c of rows 4k .. 4k+3.
  for (int k = 0; k < 4; ++k) {
    u[4 * k] = _mm512_unpacklo_epi64(t[4 * k], t[4 * k + 2]);
    u[4 * k + 1] = _mm512_unpackhi_epi64(t[4 * k], t[4 * k + 2]);
    u[4 * k + 2] = _mm512_unpacklo_epi64(t[4 * k + 1], t[4 * k + 3]);
    u[4 * k + 3] = _mm512_unpackhi_epi64(t[4 * k + 1], t[4 * k + 3]);
  }
  for (int c = 0; c < 4; ++c) {
    const V x0 = _mm512_shuffle_i32x4(u[c], u[4 + c], 0x44), x1 = _mm512_shuffle_i32x4(u[c], u[4 + c], 0xEE);
    const V y0 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], 0x44), y1 = _mm512_shuffle_i32x4(u[8 + c], u[12 + c], 0xEE);
    R[c] = _mm512_shuffle_i32x4(x0, y0, 0x88);
    R[4 + c] = _mm512_shuffle_i32x4(x0, y0, 0xDD);
    R[8 + c] = _mm512_shuffle_i32x4(x1, y1, 0x88);
    R[12 + c] = _mm512_shuffle_i32x4(x1, y1, 0xDD);
  }
}
inline V GatherPixels(const uint8_t* Row, const int32_t* Index) {
  return _mm512_i32gather_epi32(_mm512_loadu_si512(Index), Row, 4);
}
constexpr int32_t kPermuteSpan = 32;
// Pixels Base + Rel[i] of Row, for offsets 0 to 31.
inline V PermutePixels(const uint8_t* Row, int32_t Base, const int32_t* Rel) {
  const uint8_t* p = Row + 4 * size_t(Base);
  return _mm512_permutex2var_epi32(Load(p), Load(Rel), Load(p + 64));
}
#elif defined(__AVX2__)
using V = __m256i;
inline V Load(const void* P) { return _mm256_loadu_si256(static_cast<const __m256i*>(P)); }
inline void Store(void* P, V X) { _mm256_storeu_si256(static_cast<__m256i*>(P), X); }
inline void Stream(void* P, V X) { _mm256_stream_si256(static_cast<__m256i*>(P), X); }
inline V Zero() { return _mm256_setzero_si256(); }
inline V Xor(V A, V B) { return _mm256_xor_si256(A, B); }
inline V Add16(V A, V B) { return _mm256_add_epi16(A, B); }
inline V Mul16(V A, V B) { return _mm256_mullo_epi16(A, B); }
inline V Shr8(V A) { return _mm256_srli_epi16(A, 8); }
inline V And(V A, V B) { return _mm256_and_si256(A, B); }
inline V Or(V A, V B) { return _mm256_or_si256(A, B); }
inline V Words(short W) { return _mm256_set1_epi16(W); }
inline V Shl8(V A) { return _mm256_slli_epi16(A, 8); }
inline V SubsU8(V A, V B) { return _mm256_subs_epu8(A, B); }
inline V Dwords(uint32_t W) { return _mm256_set1_epi32(static_cast<int>(W)); }
inline V ShiftUp(V X, V Prev) { return _mm256_alignr_epi8(X, _mm256_permute2x128_si256(Prev, X, 0x21), 12); }
inline V UnpackLo32(V A, V B) { return _mm256_unpacklo_epi32(A, B); }
inline V UnpackHi32(V A, V B) { return _mm256_unpackhi_epi32(A, B); }
inline V UnpackLo64(V A, V B) { return _mm256_unpacklo_epi64(A, B); }
inline V UnpackHi64(V A, V B) { return _mm256_unpackhi_epi64(A, B); }
constexpr int kQuarters = 2;
inline V LoadQuarters(const uint8_t* const* P) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(P[0]))),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(P[1])), 1);
}
inline __m128i Quarter(V X, int Q) { return Q == 0 ? _mm256_castsi256_si128(X) : _mm256_extracti128_si256(X, 1); }
inline V ShiftDown(V X, V Next) { return _mm256_alignr_epi8(_mm256_permute2x128_si256(X, Next, 0x21), X, 4); }
inline V MulHi16(V A, V B) { return _mm256_mulhi_epu16(A, B); }
inline void Transpose32(V (&R)[8]) {
  V t[8], u[8];
  for (int k = 0; k < 4; ++k) {
    t[2 * k] = _mm256_unpacklo_epi32(R[2 * k], R[2 * k + 1]);
    t[2 * k + 1] = _mm256_unpackhi_epi32(R[2 * k], R[2 * k + 1]);
  }
  for (int k = 0; k < 2; ++k) {
    u[4 * k] = _mm256_unpacklo_epi64(t[4 * k], t[4 * k + 2]);
    u[4 * k + 1] = _mm256_unpackhi_epi64(t[4 * k], t[4 * k + 2]);
    u[4 * k + 2] = _mm256_unpacklo_epi64(t[4 * k + 1], t[4 * k + 3]);
    u[4 * k + 3] = _mm256_unpackhi_epi64(t[4 * k + 1], t[4 * k + 3]);
  }
  for (int c = 0; c < 4; ++c) {
    R[c] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x20);
    R[4 + c] = _mm256_permute2x128_si256(u[c], u[4 + c], 0x31);
  }
}
inline V GatherPixels(const uint8_t* Row, const int32_t* Index) {
  return _mm256_i32gather_epi32(reinterpret_cast<const int*>(Row), Load(Index), 4);
}
constexpr int32_t kPermuteSpan = 16;
// Pixels Base + Rel[i] of Row, for offsets 0 to 15: each half permuted, then the right one kept.
inline V PermutePixels(const uint8_t* Row, int32_t Base, const int32_t* Rel) {
  const uint8_t* p = Row + 4 * size_t(Base);
  const V rel = Load(Rel);
  const V lo = _mm256_permutevar8x32_epi32(Load(p), rel), hi = _mm256_permutevar8x32_epi32(Load(p + 32), rel);
  return _mm256_blendv_epi8(lo, hi, _mm256_cmpgt_epi32(rel, _mm256_set1_epi32(7)));
}
#else
using V = __m128i;
inline V Load(const void* P) { return _mm_loadu_si128(static_cast<const __m128i*>(P)); }
inline void Store(void* P, V X) { _mm_storeu_si128(static_cast<__m128i*>(P), X); }
inline void Stream(void* P, V X) { _mm_stream_si128(static_cast<__m128i*>(P), X); }
inline V Zero() { return _mm_setzero_si128(); }
inline V Xor(V A, V B) { return _mm_xor_si128(A, B); }
inline V Add16(V A, V B) { return _mm_add_epi16(A, B); }
inline V Mul16(V A, V B) { return _mm_mullo_epi16(A, B); }
inline V Shr8(V A) { return _mm_srli_epi16(A, 8); }
inline V And(V A, V B) { return _mm_and_si128(A, B); }
inline V Or(V A, V B) { return _mm_or_si128(A, B); }
inline V Words(short W) { return _mm_set1_epi16(W); }
inline V Shl8(V A) { return _mm_slli_epi16(A, 8); }
inline V SubsU8(V A, V B) { return _mm_subs_epu8(A, B); }
inline V Dwords(uint32_t W) { return _mm_set1_epi32(static_cast<int>(W)); }
inline V ShiftUp(V X, V Prev) { return _mm_or_si128(_mm_slli_si128(X, 4), _mm_srli_si128(Prev, 12)); }
inline V UnpackLo32(V A, V B) { return _mm_unpacklo_epi32(A, B); }
inline V UnpackHi32(V A, V B) { return _mm_unpackhi_epi32(A, B); }
inline V UnpackLo64(V A, V B) { return _mm_unpacklo_epi64(A, B); }
inline V UnpackHi64(V A, V B) { return _mm_unpackhi_epi64(A, B); }
constexpr int kQuarters = 1;
inline V LoadQuarters(const uint8_t* const* P) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(P[0])); }
inline __m128i Quarter(V X, int) { return X; }
inline V ShiftDown(V X, V Next) { return _mm_or_si128(_mm_srli_si128(X, 4), _mm_slli_si128(Next, 12)); }
inline V MulHi16(V A, V B) { return _mm_mulhi_epu16(A, B); }
inline void Transpose32(V (&R)[4]) {
  const V t0 = _mm_unpacklo_epi32(R[0], R[1]), t1 = _mm_unpackhi_epi32(R[0], R[1]);
  const V t2 = _mm_unpacklo_epi32(R[2], R[3]), t3 = _mm_unpackhi_epi32(R[2], R[3]);
  R[0] = _mm_unpacklo_epi64(t0, t2);
  R[1] = _mm_unpackhi_epi64(t0, t2);
  R[2] = _mm_unpacklo_epi64(t1, t3);
  R[3] = _mm_unpackhi_epi64(t1, t3);
}
// SSE2 has no gather: four loads put together.
inline V GatherPixels(const uint8_t* Row, const int32_t* Index) {
  return _mm_setr_epi32(static_cast<int>(Word(Row + 4 * size_t(Index[0]))),
                        static_cast<int>(Word(Row + 4 * size_t(Index[1]))),
                        static_cast<int>(Word(Row + 4 * size_t(Index[2]))),
                        static_cast<int>(Word(Row + 4 * size_t(Index[3]))));
}
// No variable permute in SSE2: every block is gathered.
constexpr int32_t kPermuteSpan = 0;
inline V PermutePixels(const uint8_t* Row, int32_t Base, const int32_t* Rel) {
  return GatherPixels(Row + 4 * size_t(Base), Rel);
}
#endif

constexpr int kVBytes = int(sizeof(V));
constexpr int kVPixels = kVBytes / 4;

// Per byte (A * WA + B * WB) >> 8 with WA + WB = 255, the weights in 16-bit lanes. The even and
// odd bytes are mixed in separate 16-bit lanes, where the products and their sum stay below
// 65536; the even result is the high byte of its lane shifted down, the odd one stays high.
inline V Mix(V A, V B, V WA, V WB) {
  const V low = Words(0x00FF), high = Words(short(0xFF00));
  const V even = Add16(Mul16(And(A, low), WA), Mul16(And(B, low), WB));
  const V odd = Add16(Mul16(Shr8(A), WA), Mul16(Shr8(B), WB));
  return Or(Shr8(even), And(odd, high));
}

inline uint8_t MixByte(uint32_t A, uint32_t B, uint32_t W) { return uint8_t((A * (255 - W) + B * W) >> 8); }

// ---- Byte pairs in 16-bit lanes, for the sets that multiply bytes by bytes. ----
#if defined(__AVX512BW__)
inline V UnpackLo8(V A, V B) { return _mm512_unpacklo_epi8(A, B); }
inline V UnpackHi8(V A, V B) { return _mm512_unpackhi_epi8(A, B); }
inline V MulAddBytes(V Unsigned, V Signed) { return _mm512_maddubs_epi16(Unsigned, Signed); }
inline V PackU16(V A, V B) { return _mm512_packus_epi16(A, B); }
#elif defined(__AVX2__)
inline V UnpackLo8(V A, V B) { return _mm256_unpacklo_epi8(A, B); }
inline V UnpackHi8(V A, V B) { return _mm256_unpackhi_epi8(A, B); }
inline V MulAddBytes(V Unsigned, V Signed) { return _mm256_maddubs_epi16(Unsigned, Signed); }
inline V PackU16(V A, V B) { return _mm256_packus_epi16(A, B); }
#else
// SSE2 has no byte-by-byte multiply: its stretch mixes through Mix.
#endif

// The first N (0 to kVPixels) 4-byte pixels of X stored at P; nothing after them is touched.
#if defined(__AVX512BW__)
inline void StorePixels(uint8_t* P, V X, int N) { _mm512_mask_storeu_epi32(P, __mmask16((1u << N) - 1), X); }
#elif defined(__AVX2__)
inline void StorePixels(uint8_t* P, V X, int N) {
  const V mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(N), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  _mm256_maskstore_epi32(reinterpret_cast<int*>(P), mask, X);
}
#else
inline void StorePixels(uint8_t* P, V X, int N) {
  alignas(16) uint8_t pixels[16];
  Store(pixels, X);
  __builtin_memcpy(P, pixels, 4 * size_t(N));
}
#endif

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
