// AKA-Challenge processing (RFC 4187 section 9.3/9.4): the USIM side of AKA
// in software (AUTN check with Milenage), the AT_MAC and AT_CHECKCODE checks,
// the AT_MAC of outgoing responses and the AKA-Challenge response.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "crypto/hmac_sha256.h"
#include "crypto/milenage.h"
#include "crypto/sha1.h"
#include "crypto/sha256.h"
#include "diag/message_log.h"
#include "eap/eap_packet.h"
#include "keystore/keystore.h"

namespace {

constexpr unsigned KEY_SIZE = 16;
constexpr unsigned RAND_SIZE = 16;
constexpr unsigned AK_SIZE = 6;
constexpr unsigned MAC_A_SIZE = 8;
constexpr unsigned AUTN_SQN_OFFSET = 0;   // SQN xor AK
constexpr unsigned AUTN_AMF_OFFSET = 6;
constexpr unsigned AUTN_MAC_OFFSET = 8;
constexpr uint8_t ALT_KEY_SET_AMF[2] = {0x00, 0x03};
constexpr uint8_t AT_RES_WORDS = 3;
constexpr unsigned RES_BITS = 64;
constexpr unsigned NONCE_S_SIZE = 16;
// With NONCE_S appended, the EAP Length leaves those 16 bytes out:
// (n + 5) - 16 = n - 11.
constexpr unsigned NONCE_S_LENGTH_ADJUST = NONCE_S_SIZE - EAP_TYPE_HEADER_SIZE;
constexpr unsigned SHA1_KEY_SIZE = 16;  // EAP-AKA's K_aut


void log_milenage_constants() {
    const AkaSession& s = g_session;
    msglog_line("\nConst C\n");
    msglog_line("%d %d %d %d %d\n", s.milenageC[0][15], s.milenageC[1][15], s.milenageC[2][15], s.milenageC[3][15],
                s.milenageC[4][15]);
    msglog_line("\nConst R\n");
    msglog_line("%d %d %d %d %d\n", static_cast<int>(s.milenageR[0]), static_cast<int>(s.milenageR[1]),
                static_cast<int>(s.milenageR[2]), static_cast<int>(s.milenageR[3]), static_cast<int>(s.milenageR[4]));
}

// The first 16 bytes of the method's MAC over `length` bytes: HMAC-SHA1 with
// the 16-byte K_aut (RFC 4187 10.15) or, in EAP-AKA', HMAC-SHA-256 with the
// 32-byte one (RFC 9048 section 3.3).
void method_mac(const uint8_t* data, unsigned length, uint8_t mac[AT_MAC_VALUE_SIZE]) {
    const AkaSession& s = g_session;
    if (!aka_is_prime()) {
        hmac_sha1(s.kAut, SHA1_KEY_SIZE, data, static_cast<int>(length), mac, AT_MAC_VALUE_SIZE);
        return;
    }
    uint8_t full[HMAC_SHA256_SIZE];
    hmac_sha256(s.kAut, K_AUT_PRIME_SIZE, data, length, full);
    std::memcpy(mac, full, AT_MAC_VALUE_SIZE);
}

// The digest AT_CHECKCODE carries: SHA-1 (RFC 4187 10.13) or, in EAP-AKA',
// SHA-256 (RFC 9048 section 3.3) over this exchange's AKA-Identity
// messages, into checkcodeDigest. Returns its size.
unsigned compute_checkcode_digest() {
    AkaSession& s = g_session;
    size_t length = s.identityMessageRecordLength;
    if (length > sizeof s.identityMessageRecord) length = sizeof s.identityMessageRecord;
    if (aka_is_prime()) {
        sha256(s.identityMessageRecord, length, s.checkcodeDigest);
        return SHA256_DIGEST_SIZE;
    }
    Sha1Context context;
    sha1_reset(&context);
    sha1_input(&context, s.identityMessageRecord, static_cast<unsigned>(length));
    sha1_result(&context, s.checkcodeDigest);
    return SHA1_DIGEST_SIZE;
}

void take_sqn(const uint8_t autn[16], const uint8_t ak[AK_SIZE]) {
    for (unsigned i = 0; i < AK_SIZE; ++i) g_session.sqn[i] = autn[AUTN_SQN_OFFSET + i] ^ ak[i];
}

// The alternate key set is chosen by AMF 0x0003 and runs without a trace.
void run_alt_key_set(const uint8_t rand[16], const uint8_t autn[16], uint8_t xmac[MAC_A_SIZE]) {
    AkaSession& s = g_session;
    uint8_t k[KEY_SIZE];
    uint8_t ak[AK_SIZE];
    s.altKeySetUsed = 1;
    keystore_load_alt_key_set(k);
    milenage_f2345(k, rand, s.res, s.ck, s.ik, ak);
    take_sqn(autn, ak);
    milenage_f1(k, rand, s.sqn, s.autnAmf, xmac);
    aka_wipe(k, sizeof k);
}

void run_main_key_set(const uint8_t rand[16], const uint8_t autn[16], uint8_t xmac[MAC_A_SIZE]) {
    AkaSession& s = g_session;
    uint8_t k[KEY_SIZE];
    uint8_t ak[AK_SIZE];
    keystore_load_key_set(k);
    msglog_hex("\t K", k, KEY_SIZE);
    msglog_hex("\t OPC_B", s.opc, sizeof s.opc);
    msglog_hex("\t RAND_ser", rand, RAND_SIZE);
    milenage_f2345_logged(k, rand, s.res, s.ck, s.ik, ak);
    msglog_hex("\t resc", s.res, sizeof s.res);
    msglog_hex("\t ckc", s.ck, sizeof s.ck);
    msglog_hex("\t ikc", s.ik, sizeof s.ik);
    msglog_hex("\t akc", ak, AK_SIZE);
    take_sqn(autn, ak);
    msglog_hex("\tSQN:", s.sqn, sizeof s.sqn);
    milenage_f1(k, rand, s.sqn, s.autnAmf, xmac);
    msglog_hex("\t xmac:", xmac, MAC_A_SIZE);
    aka_wipe(k, sizeof k);
}

}  // namespace

void aka_wipe(uint8_t* bytes, unsigned n) {
    volatile uint8_t* p = bytes;
    while (n-- != 0) *p++ = 0;
}

uint16_t aka_packet_length(const uint8_t* packet) {
    uint16_t length;
    std::memcpy(&length, packet + 2, sizeof length);
    return length;
}

bool aka_bytes_equal(const uint8_t* a, const uint8_t* b, unsigned n) {
    uint8_t difference = 0;
    for (unsigned i = 0; i < n; ++i) difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

void aka_write_mac_attribute(uint8_t* attribute) {
    attribute[0] = AT_MAC;
    attribute[1] = AT_VALUE16_WORDS;
    std::memset(attribute + 2, 0, AT_MAC_SIZE - 2);
}

// TS 33.102 6.3.3: the USIM computes XMAC = f1(K, RAND, SQN, AMF) with SQN
// recovered through AK = f5(K, RAND), and accepts AUTN when XMAC = MAC-A.
// Fills res, ck, ik, sqn and autnAmf whatever the outcome.
bool verify_autn(const uint8_t rand[16], const uint8_t autn[16]) {
    AkaSession& s = g_session;
    std::memcpy(s.autnAmf, autn + AUTN_AMF_OFFSET, sizeof s.autnAmf);
    keystore_load_milenage_c();
    keystore_load_milenage_r();
    log_milenage_constants();

    uint8_t xmac[MAC_A_SIZE];
    if (std::memcmp(s.autnAmf, ALT_KEY_SET_AMF, sizeof ALT_KEY_SET_AMF) == 0)
        run_alt_key_set(rand, autn, xmac);
    else
        run_main_key_set(rand, autn, xmac);

    if (aka_bytes_equal(xmac, autn + AUTN_MAC_OFFSET, MAC_A_SIZE)) return true;
    aka_report_failure("\t>>AUTN is not verified", "\tC_AKA_FAIL_INVALID_AUTN", EAPAKA_FAIL_INVALID_AUTN);
    return false;
}

// RFC 4187 10.15: HMAC-SHA1-128 with K_aut over the whole EAP packet with
// the AT_MAC value zeroed (HMAC-SHA-256-128 in EAP-AKA'). The last 16 bytes
// are taken as that value, so a packet whose AT_MAC is not the last
// attribute never verifies. Packets shorter than 16 or longer than 256
// bytes, and keys derived by the other method, are refused as an invalid
// MAC.
bool verify_at_mac(const uint8_t* packet, uint16_t eapLength) {
    const AkaSession& s = g_session;
    bool valid = false;
    if (eapLength >= AT_MAC_VALUE_SIZE && eapLength <= EAP_MAX_PACKET && aka_keys_match_method()) {
        uint8_t input[EAP_MAX_PACKET];
        const unsigned covered = eapLength - AT_MAC_VALUE_SIZE;
        std::memcpy(input, packet, covered);
        std::memset(input + covered, 0, AT_MAC_VALUE_SIZE);
        // The Length field goes back to network byte order, as on the wire.
        uint8_t wireLength[2];
        aka_put_be16(wireLength, eapLength);
        for (unsigned i = 0; i < 2 && 2 + i < covered; ++i) input[2 + i] = wireLength[i];
        uint8_t mac[AT_MAC_VALUE_SIZE];
        method_mac(input, eapLength, mac);
        valid = aka_bytes_equal(mac, s.atMac, AT_MAC_VALUE_SIZE);
    }
    if (!valid)
        aka_report_failure("\t>>Invalid AT_MAC ", "\tC_AKA_FAIL_INVALID_MAC", EAPAKA_FAIL_INVALID_MAC);
    return valid;
}

// RFC 4187 10.13: the digest of the AKA-Identity messages of this exchange.
bool verify_checkcode() {
    AkaSession& s = g_session;
    if (aka_bytes_equal(s.atCheckcode, s.checkcodeDigest, compute_checkcode_digest())) return true;
    aka_report_failure("\t>>Invalid AT_CHECKCODE ", "\tC_AKA_FAIL_INVALID_CHECKCODE", EAPAKA_FAIL_INVALID_CHECKCODE);
    return false;
}

// Frames the payload as the EAP-Response it will be sent in and MACs it with
// K_aut into responseMac. With appendNonceS the last 16 bytes are NONCE_S
// (RFC 4187 9.8): MACed but outside the EAP Length. A payload that cannot
// be framed in 256 bytes gets an all-zero MAC, which no server accepts.
void compute_response_mac(const uint8_t* payload, unsigned n) {
    AkaSession& s = g_session;
    const bool withNonce = s.appendNonceS != 0;
    s.appendNonceS = 0;
    if (n > AKA_PAYLOAD_MAX || (withNonce && n < NONCE_S_SIZE + AKA_PAYLOAD_HEADER_SIZE)) {
        std::memset(s.responseMac, 0, sizeof s.responseMac);
        return;
    }
    uint8_t work[EAP_MAX_PACKET];
    work[0] = EAP_CODE_RESPONSE;
    work[1] = s.requestIdentifier;
    aka_put_be16(work + 2, withNonce ? n - NONCE_S_LENGTH_ADJUST : n + EAP_TYPE_HEADER_SIZE);
    work[4] = aka_eap_type();
    std::memcpy(work + EAP_TYPE_HEADER_SIZE, payload, n);
    method_mac(work, n + EAP_TYPE_HEADER_SIZE, s.responseMac);
}

unsigned aka_write_echoed_attributes(uint8_t* out) {
    const AkaSession& s = g_session;
    unsigned n = 0;
    if (s.atResultIndCount == 1) {
        const uint8_t resultInd[] = {AT_RESULT_IND, 1, 0, 0};
        std::memcpy(out + n, resultInd, sizeof resultInd);
        n += sizeof resultInd;
    }
    const bool emptyCheckcode = aka_compat(EAP_COMPAT_RFC_CHECKCODE) && s.identityMessageRecordLength == 0;
    if (s.atCheckcodeCount == 1 && emptyCheckcode) {
        // RFC 4187 10.13: without an AKA-Identity round in this exchange the
        // AT_CHECKCODE is empty. By default a digest is always sent.
        const uint8_t empty[] = {AT_CHECKCODE, AT_CHECKCODE_EMPTY_WORDS, 0, 0};
        std::memcpy(out + n, empty, sizeof empty);
        n += sizeof empty;
    } else if (s.atCheckcodeCount == 1) {
        // EAP-AKA' sends the digest of this exchange's messages; EAP-AKA
        // that of the last check made, which may be an earlier exchange's.
        const unsigned digestSize = aka_is_prime() ? compute_checkcode_digest() : SHA1_DIGEST_SIZE;
        const uint8_t header[] = {AT_CHECKCODE, static_cast<uint8_t>((AT_HEADER_SIZE + digestSize) / AKA_WORD), 0, 0};
        std::memcpy(out + n, header, sizeof header);
        std::memcpy(out + n + sizeof header, s.checkcodeDigest, digestSize);
        n += sizeof header + digestSize;
    }
    return n;
}

// RFC 4187 9.4: AT_RES, then AT_RESULT_IND and AT_CHECKCODE when the request
// carried them, then AT_MAC. The response's AT_CHECKCODE always carries a
// full digest: that of the last check made (all zero before any).
void makeRSP_Challenge(uint8_t* payload, uint16_t* words) {
    const AkaSession& s = g_session;
    uint8_t work[AKA_PAYLOAD_MAX];
    unsigned n = 0;
    work[n++] = AKA_SUBTYPE_CHALLENGE;
    work[n++] = 0;
    work[n++] = 0;
    work[n++] = AT_RES;
    work[n++] = AT_RES_WORDS;
    aka_put_be16(work + n, RES_BITS);
    n += 2;
    std::memcpy(work + n, s.res, sizeof s.res);
    n += sizeof s.res;
    n += aka_write_echoed_attributes(work + n);
    const unsigned macOffset = n;
    aka_write_mac_attribute(work + macOffset);
    n += AT_MAC_SIZE;
    compute_response_mac(work, n);
    std::memcpy(work + macOffset + AT_VALUE_OFFSET, g_session.responseMac, AT_MAC_VALUE_SIZE);
    std::memcpy(payload, work, n);
    *words = static_cast<uint16_t>((n - AKA_PAYLOAD_HEADER_SIZE) / AKA_WORD);
}
