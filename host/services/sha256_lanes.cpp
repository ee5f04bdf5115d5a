// OpenSSL's SHA256_CTX functions are deprecated in favour of EVP, which hides the state that the
// interleaved rounds must advance; they remain part of OpenSSL 3.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "host/services/sha256_lanes.h"

#include <algorithm>
#include <new>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tavik {

namespace {

#if defined(__x86_64__)

alignas(16) constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

#define VENDRASK_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// The chaining values a..h as the SHA instructions hold them: ABEF and CDGH.
struct TShaState {
    __m128i abef;
    __m128i cdgh;
};

VENDRASK_SHA_TARGET TShaState LoadState(const unsigned int* h) {
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);
    return {_mm_alignr_epi8(dcba, efgh, 8), _mm_blend_epi16(efgh, dcba, 0xF0)};
}

VENDRASK_SHA_TARGET void StoreState(const TShaState& state, unsigned int* h) {
    const __m128i feba = _mm_shuffle_epi32(state.abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(state.cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), _mm_alignr_epi8(dchg, feba, 8));
}

// blocks 64-byte blocks of each stream, the rounds of both interleaved so that one stream's
// rounds run while the other's wait for their results.
VENDRASK_SHA_TARGET void InterleavedBlocks(unsigned int* ha, const std::uint8_t* pa, unsigned int* hb,
                                           const std::uint8_t* pb, std::size_t blocks) {
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    TShaState a = LoadState(ha);
    TShaState b = LoadState(hb);
    for (; blocks > 0; --blocks, pa += 64, pb += 64) {
        __m128i a0 = a.abef, a1 = a.cdgh, b0 = b.abef, b1 = b.cdgh;
        __m128i wa[4], wb[4];
        for (int j = 0; j < 4; ++j) {
            wa[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + 16 * j)), byteOrder);
            wb[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + 16 * j)), byteOrder);
        }
#pragma GCC unroll 16
        for (int i = 0; i < 16; ++i) {
            const __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * i]));
            __m128i ma = _mm_add_epi32(wa[i & 3], k);
            __m128i mb = _mm_add_epi32(wb[i & 3], k);
            a1 = _mm_sha256rnds2_epu32(a1, a0, ma);
            b1 = _mm_sha256rnds2_epu32(b1, b0, mb);
            ma = _mm_shuffle_epi32(ma, 0x0E);
            mb = _mm_shuffle_epi32(mb, 0x0E);
            a0 = _mm_sha256rnds2_epu32(a0, a1, ma);
            b0 = _mm_sha256rnds2_epu32(b0, b1, mb);
            if (i < 12) {
                // The message schedule's next four words from the last sixteen.
                __m128i ta = _mm_sha256msg1_epu32(wa[i & 3], wa[(i + 1) & 3]);
                __m128i tb = _mm_sha256msg1_epu32(wb[i & 3], wb[(i + 1) & 3]);
                ta = _mm_add_epi32(ta, _mm_alignr_epi8(wa[(i + 3) & 3], wa[(i + 2) & 3], 4));
                tb = _mm_add_epi32(tb, _mm_alignr_epi8(wb[(i + 3) & 3], wb[(i + 2) & 3], 4));
                wa[i & 3] = _mm_sha256msg2_epu32(ta, wa[(i + 3) & 3]);
                wb[i & 3] = _mm_sha256msg2_epu32(tb, wb[(i + 3) & 3]);
            }
        }
        a.abef = _mm_add_epi32(a0, a.abef);
        a.cdgh = _mm_add_epi32(a1, a.cdgh);
        b.abef = _mm_add_epi32(b0, b.abef);
        b.cdgh = _mm_add_epi32(b1, b.cdgh);
    }
    StoreState(a, ha);
    StoreState(b, hb);
}

bool ProcessorHasSha() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool ssse3 = (ecx & bit_SSSE3) != 0;
    const bool sse41 = (ecx & bit_SSE4_1) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    return ssse3 && sse41 && (ebx & bit_SHA) != 0;
}

#else

bool ProcessorHasSha() { return false; }

#endif

// The bit count as OpenSSL keeps it, for blocks whole blocks more.
void CountBlocks(SHA256_CTX& context, std::size_t blocks) {
    const std::uint64_t bits = (std::uint64_t{context.Nh} << 32 | context.Nl) + std::uint64_t{blocks} * 512;
    context.Nl = static_cast<SHA_LONG>(bits);
    context.Nh = static_cast<SHA_LONG>(bits >> 32);
}

}  // namespace

TSha256Lane::TSha256Lane() {
    if (SHA256_Init(&FContext) != 1) throw std::bad_alloc();
}

void TSha256Lane::Update(const std::uint8_t* data, std::size_t size) {
    if (size != 0) SHA256_Update(&FContext, data, size);
}

TSha256Digest TSha256Lane::Final() {
    TSha256Digest digest{};
    SHA256_Final(digest.data(), &FContext);
    SHA256_Init(&FContext);
    return digest;
}

bool TSha256Lane::Interleaves() {
    static const bool interleaves = ProcessorHasSha();
    return interleaves;
}

void TSha256Lane::UpdateBoth(TSha256Lane& a, const std::uint8_t* da, TSha256Lane& b, const std::uint8_t* db,
                             std::size_t size) {
    if (!Interleaves() || size < 2 * SHA256_CBLOCK) {
        a.Update(da, size);
        b.Update(db, size);
        return;
    }
    // Each lane first completes the block it has begun; from there on both take whole blocks.
    const std::size_t fillA = std::min<std::size_t>((SHA256_CBLOCK - a.FContext.num) % SHA256_CBLOCK, size);
    const std::size_t fillB = std::min<std::size_t>((SHA256_CBLOCK - b.FContext.num) % SHA256_CBLOCK, size);
    a.Update(da, fillA);
    b.Update(db, fillB);
    const std::size_t blocks = std::min(size - fillA, size - fillB) / SHA256_CBLOCK;
#if defined(__x86_64__)
    InterleavedBlocks(a.FContext.h, da + fillA, b.FContext.h, db + fillB, blocks);
#endif
    CountBlocks(a.FContext, blocks);
    CountBlocks(b.FContext, blocks);
    const std::size_t doneA = fillA + blocks * SHA256_CBLOCK;
    const std::size_t doneB = fillB + blocks * SHA256_CBLOCK;
    a.Update(da + doneA, size - doneA);
    b.Update(db + doneB, size - doneB);
}

}  // namespace tavik
