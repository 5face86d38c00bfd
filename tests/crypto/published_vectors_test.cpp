// The published test vectors, one data-driven runner per algorithm. These
// need nothing but the library, so they also run where no OpenSSL is
// available (the Windows cross-build).
#include <cstring>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/hmac_sha256.h"
#include "crypto/milenage.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "support/vector_file.h"

namespace {

std::vector<VectorRecord> records_of(const char* file) {
    auto records = load_vectors(file);
    EXPECT_FALSE(records.empty()) << file;
    return records;
}

Bytes bytes_or_ascii(const VectorRecord& r, const std::string& name) {
    if (!r.has(name + "_ASCII")) return r.bytes(name);
    const std::string text = r.text(name + "_ASCII");
    return Bytes(text.begin(), text.end());
}

TEST(PublishedVectors, Sha1) {
    for (const auto& r : records_of("sha1.txt")) {
        const Bytes piece = bytes_or_ascii(r, "MSG");
        Sha1Context ctx;
        sha1_reset(&ctx);
        for (long i = 0; i < r.number("REPEAT"); ++i)
            ASSERT_EQ(sha1_input(&ctx, piece.data(), static_cast<unsigned>(piece.size())), SHA1_SUCCESS);
        Bytes digest(SHA1_DIGEST_SIZE);
        ASSERT_EQ(sha1_result(&ctx, digest.data()), SHA1_SUCCESS);
        EXPECT_EQ(bytes_to_hex(digest), bytes_to_hex(r.bytes("DIGEST"))) << r.id;
    }
}

// RFC 2202; case 5 also gives the MAC truncated to 96 bits.
TEST(PublishedVectors, HmacSha1) {
    for (const auto& r : records_of("hmac_sha1.txt")) {
        const Bytes key = r.bytes("KEY"), data = r.bytes("DATA");
        for (const char* field : {"DIGEST", "DIGEST_96"}) {
            if (!r.has(field)) continue;
            const Bytes expected = r.bytes(field);
            Bytes mac(expected.size());
            hmac_sha1(key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size()),
                      mac.data(), static_cast<int>(mac.size()));
            EXPECT_EQ(mac, expected) << r.id << " " << field;
        }
    }
}

// FIPS 180 SHA-256 records (message repeated REPEAT times, fed piece by
// piece) and RFC 4231 HMAC-SHA-256 records (those with a KEY); case 5 gives
// only the first 128 bits, the AT_MAC truncation of EAP-AKA'.
TEST(PublishedVectors, Sha256AndHmacSha256) {
    for (const auto& r : records_of("sha256_hmac_sha256.txt")) {
        Bytes digest(SHA256_DIGEST_SIZE);
        if (r.has("KEY")) {
            const Bytes key = r.bytes("KEY"), data = r.bytes("DATA");
            hmac_sha256(key.data(), key.size(), data.data(), data.size(), digest.data());
            if (r.has("DIGEST_128")) {
                EXPECT_EQ(Bytes(digest.begin(), digest.begin() + 16), r.bytes("DIGEST_128")) << r.id;
            }
        } else {
            const Bytes piece = bytes_or_ascii(r, "MSG");
            Sha256Context ctx;
            sha256_reset(&ctx);
            for (long i = 0; i < r.number("REPEAT"); ++i) sha256_input(&ctx, piece.data(), piece.size());
            sha256_result(&ctx, digest.data());
        }
        EXPECT_EQ(bytes_to_hex(digest), bytes_to_hex(r.bytes("DIGEST"))) << r.id;
    }
}

TEST(PublishedVectors, Fips186Prf) {
    for (const auto& r : records_of("fips186_2_prf.txt")) {
        Bytes out(160);
        fips186_prf(r.bytes("XKEY").data(), out.data());
        const long length = r.number("OUT_LEN");
        ASSERT_LE(length, 160);
        out.resize(static_cast<size_t>(length));
        EXPECT_EQ(out, r.bytes("OUT")) << r.id;
    }
}

// FIPS 197 blocks and SP 800-38A CBC (the records with an IV), both ways.
TEST(PublishedVectors, Aes128BlockAndCbc) {
    for (const char* file : {"aes128.txt", "aes128_cbc.txt"}) {
        for (const auto& r : records_of(file)) {
            const Bytes key = r.bytes("KEY"), plain = r.bytes("PLAINTEXT"), cipher = r.bytes("CIPHERTEXT");
            Bytes encrypted = plain, decrypted = cipher;
            if (r.has("IV")) {
                const unsigned length = static_cast<unsigned>(plain.size());
                aes_cbc_encrypt(key.data(), r.bytes("IV").data(), encrypted.data(), length);
                aes_cbc_decrypt(key.data(), r.bytes("IV").data(), decrypted.data(), length);
            } else {
                AesCipher aes;
                aes.setKey(key.data(), 16, 3);
                aes.encryptBlock(encrypted.data(), encrypted.data());
                aes.decryptBlock(decrypted.data(), decrypted.data());
            }
            EXPECT_EQ(encrypted, cipher) << r.id;
            EXPECT_EQ(decrypted, plain) << r.id;
        }
    }
}

// The TS 35.206 constants, as a key store would provision them.
void load_standard_milenage(const Bytes& opc) {
    const uint8_t lastByte[5] = {0, 1, 2, 4, 8};
    const int32_t r[5] = {64, 0, 32, 64, 96};
    std::memcpy(g_session.opc, opc.data(), 16);
    for (int i = 0; i < 5; ++i) {
        std::memset(g_session.milenageC[i], 0, 16);
        g_session.milenageC[i][15] = lastByte[i];
        g_session.milenageR[i] = r[i];
    }
}

// TS 35.208 conformance data, and AUTS with the resynchronisation outputs
// f1* (over the dummy AMF) and f5*.
TEST(PublishedVectors, Milenage) {
    for (const char* file : {"milenage_ts35208.txt", "milenage_auts.txt"}) {
        for (const auto& r : records_of(file)) {
            const bool resync = r.has("AMF_RESYNC");
            load_standard_milenage(r.bytes("OPC"));
            const Bytes k = r.bytes("K"), rand = r.bytes("RAND"), sqn = r.bytes(resync ? "SQN_MS" : "SQN");
            const Bytes amf = r.bytes(resync ? "AMF_RESYNC" : "AMF");
            Bytes macA(8), macS(8), res(8), ck(16), ik(16), ak(6), akStar(6);
            milenage_f1(k.data(), rand.data(), sqn.data(), amf.data(), macA.data());
            milenage_f1star(k.data(), rand.data(), sqn.data(), amf.data(), macS.data());
            milenage_f2345(k.data(), rand.data(), res.data(), ck.data(), ik.data(), ak.data());
            milenage_f5star(k.data(), rand.data(), akStar.data());
            const std::pair<const char*, const Bytes&> outputs[] = {
                {"F1_MAC_A", macA}, {"F1STAR_MAC_S", macS}, {"F2_RES", res}, {"F3_CK", ck},
                {"F4_IK", ik},      {"F5_AK", ak},          {"F5STAR_AK", akStar}};
            for (const auto& [field, value] : outputs) {
                if (r.has(field)) {
                    EXPECT_EQ(value, r.bytes(field)) << r.id << " " << field;
                }
            }
            if (resync) {  // AUTS = (SQN_MS xor AK*) || MAC-S (TS 33.102 6.3.3), as published
                for (int i = 0; i < 6; ++i) akStar[i] ^= sqn[i];
                EXPECT_EQ(cat({akStar, macS}), r.bytes("AUTS")) << r.id;
            }
        }
    }
}

}  // namespace
