// The primitives run inside every EAP_layer call and must not touch the
// heap. This binary replaces the global allocation functions with counting
// ones (backed by malloc/free) and checks that each primitive leaves the
// count unchanged.
#include <atomic>
#include <cstdlib>
#include <new>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/hmac_sha256.h"
#include "crypto/kdf_3gpp.h"
#include "crypto/milenage.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "support/test_host.h"

namespace {
std::atomic<long> g_allocations{0};
void* counted(std::size_t size) {
    ++g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* counted_or_throw(std::size_t size) {
    if (void* p = counted(size)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_or_throw(size); }
void* operator new[](std::size_t size) { return counted_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(NoAllocation, EveryPrimitive) {
    uint8_t key[32] = {1, 2, 3}, iv[16] = {4}, data[256] = {5}, out[160];
    uint8_t res[8], ck[16], ik[16], ak[6], mac[8];
    const uint8_t sqn[6] = {0, 0, 0, 0, 0, 0x20}, amf[2] = {0x80, 0};
    // The counter must see allocations at all (a direct call, which the
    // compiler may not elide the way it may elide a new-expression).
    const long before = g_allocations;
    ::operator delete(::operator new(1));
    ASSERT_EQ(g_allocations - before, 1);

    const long start = g_allocations;
    Sha1Context ctx;
    sha1_reset(&ctx);
    sha1_input(&ctx, data, sizeof data);
    sha1_result(&ctx, out);
    hmac_sha1(data, 100, data, 200, out, 20);
    fips186_prf(data, out);
    sha256(data, sizeof data, out);
    hmac_sha256(data, 100, data, 200, out);
    const ByteSpan parts[] = {{data, 40}, {data + 40, 24}};
    prf_prime(key, 32, parts, 2, out, 160);
    kdf_ck_ik_prime(key, key + 16, data, 4, data + 8, out, out + 16);
    {
        AesCipher aes;
        aes.setKey(key, 32, 3);
        aes.encryptBlock(data, out);
        aes.decryptBlock(out, out);
    }
    aes_cbc_encrypt(key, iv, data, 64);
    aes_cbc_decrypt(key, iv, data, 64);
    milenage_f1(key, data, sqn, amf, mac);
    milenage_f1star(key, data, sqn, amf, mac);
    milenage_f2345(key, data, res, ck, ik, ak);
    milenage_f5star(key, data, ak);
    rotate128(data, 77, out);
    EXPECT_EQ(g_allocations - start, 0);
}

}  // namespace
