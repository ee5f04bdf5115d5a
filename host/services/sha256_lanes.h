#pragma once
// SHA-256 computations that can be advanced two at once. Each one alone waits on the latency of
// the processor's SHA rounds; two interleaved on one core take little more time than one (on
// the machines measured, two streams cost 1.14 times one). The single steps and the end are
// OpenSSL's; only the interleaved rounds are this file's own, used where the processor has the
// SHA extensions, and both streams' results are those of OpenSSL in any case.
#include <openssl/sha.h>

#include <cstddef>
#include <cstdint>

#include "host/services/sha256.h"

namespace tavik {

class TSha256Lane {
public:
    TSha256Lane();
    void Update(const std::uint8_t* data, std::size_t size);
    // The digest of everything given; the lane starts anew afterwards.
    TSha256Digest Final();

    // Gives size bytes to each of a (from da) and b (from db): the same as a.Update and b.Update,
    // in whole blocks both at once.
    static void UpdateBoth(TSha256Lane& a, const std::uint8_t* da, TSha256Lane& b, const std::uint8_t* db,
                           std::size_t size);
    // Whether UpdateBoth interleaves on this processor (otherwise it takes one after the other).
    static bool Interleaves();

private:
    // OpenSSL's state of the computation, whose chaining values and bit count the interleaved
    // rounds advance in place between whole blocks.
    SHA256_CTX FContext;
};

}  // namespace tavik
