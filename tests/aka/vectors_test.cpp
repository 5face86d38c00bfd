// Published vectors: RFC 4186, whose AT_MAC and keys EAP-AKA shares, and RFC 9048.
#include "aka/aka_fixture.h"
#include "eap/eap_packet.h"
#include "support/vector_file.h"

namespace {

Bytes field(const uint8_t* p, size_t n) { return Bytes(p, p + n); }

// RFC 4186 A.5 and A.9.
TEST_F(AkaTest, Rfc4186Appendix) {
    std::map<std::string, VectorRecord> r;
    for (const VectorRecord& v : load_vectors("eap_sim_rfc4186_appendix_a.txt")) r[v.id] = v;
    ASSERT_EQ(r.count("A.5-keys") + r.count("A.9-request-reauth"), 2u);
    const VectorRecord &keys = r["A.5-keys"], &request = r["A.9-request-reauth"];
    std::memcpy(g_session.mk, keys.bytes("MK").data(), 20);
    derive_full_keys();
    EXPECT_EQ(field(g_session.kEncr, 16), keys.bytes("K_ENCR"));
    EXPECT_EQ(field(g_session.kAut, 16), keys.bytes("K_AUT"));
    EXPECT_EQ(field(g_session.msk, 64), keys.bytes("MSK"));

    Bytes packet = request.bytes("PACKET");
    const uint16_t length = static_cast<uint16_t>(packet.size());
    std::memcpy(packet.data() + 2, &length, 2);  // as the EAP layer leaves it
    std::memcpy(g_session.atMac, packet.data() + length - 16, 16);
    EXPECT_TRUE(verify_at_mac(packet.data(), length));
    packet[length - 17] ^= 1;  // the last byte before the MAC value
    EXPECT_FALSE(verify_at_mac(packet.data(), length));

    // The appendix's identity (74 bytes) does not fit the 64-byte identity
    // field, so XKEY' is taken from the vector.
    std::memcpy(g_session.mk, request.bytes("XKEY_PRIME").data(), 20);
    derive_reauth_msk();
    EXPECT_EQ(field(g_session.msk, 64), request.bytes("MSK"));
}

// RFC 9048: CK', IK' and the key split through the method's derivation.
TEST_F(AkaTest, AkaPrimeKeyDerivation) {
    g_session.methodType = EAP_TYPE_AKA_PRIME;
    for (const VectorRecord& v : load_vectors("eap_aka_prime.txt")) {
        if (v.id.rfind("rfc9048-case-", 0) != 0) continue;
        SCOPED_TRACE(v.id);
        const std::string identity = v.text("IDENTITY_ASCII"), name = v.text("NETWORK_NAME_ASCII");
        std::memcpy(g_session.identity, identity.data(), identity.size());
        g_session.identityLength = static_cast<uint16_t>(identity.size());
        std::memcpy(g_session.ck, v.bytes("CK").data(), 16);
        std::memcpy(g_session.ik, v.bytes("IK").data(), 16);
        std::memcpy(g_session.atAutn, v.bytes("AUTN").data(), 16);
        std::memcpy(g_session.atKdfInput, name.data(), name.size());
        g_session.atKdfInputLength = static_cast<uint16_t>(name.size());
        derive_prime_keys();
        EXPECT_EQ(field(g_session.kEncr, 16), v.bytes("K_ENCR"));
        EXPECT_EQ(field(g_session.kAut, 32), v.bytes("K_AUT"));
        EXPECT_EQ(field(g_session.kRe, 32), v.bytes("K_RE"));
        EXPECT_EQ(field(g_session.msk, 64), v.bytes("MSK"));
    }
}

}  // namespace
