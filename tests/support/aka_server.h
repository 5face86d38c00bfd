// A test-side EAP-AKA and EAP-AKA' server whose crypto is the test oracle,
// never the library's, with its own copy of the RFC 4187 numbers.
#ifndef EAPAKA_TESTS_SUPPORT_AKA_SERVER_H
#define EAPAKA_TESTS_SUPPORT_AKA_SERVER_H

#include <cstdint>
#include <string>

#include "support/oracle.h"
#include "support/test_host.h"

namespace akasrv {

constexpr uint8_t kTypeAka = 23, kTypeAkaPrime = 50;
constexpr uint8_t kAtRand = 1, kAtAutn = 2, kAtRes = 3, kAtPadding = 6, kAtMac = 11, kAtNotification = 12,
                  kAtIdentity = 14, kAtCounter = 19, kAtCounterTooSmall = 20, kAtNonceS = 21, kAtKdfInput = 23,
                  kAtKdf = 24, kAtIv = 129, kAtEncrData = 130, kAtCheckcode = 134, kAtResultInd = 135;
constexpr size_t kPrimeKeySize = 32;  // K_aut and K_re of EAP-AKA'

inline Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }
inline Bytes be16(unsigned value) { return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}; }
inline Bytes be48(uint64_t v) { return cat({be16(static_cast<unsigned>(v >> 32)), be16(v >> 16 & 0xFFFF), be16(v & 0xFFFF)}); }

inline Bytes aka_request(uint8_t id, uint8_t subtype, const Bytes& attributes, uint8_t type = kTypeAka) {
    const size_t n = 8 + attributes.size();
    return cat({{1, id, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), type, subtype, 0, 0}, attributes});
}
// Attribute with a 16-byte value after two reserved bytes (Length 5).
inline Bytes attr16(uint8_t type, const Bytes& value) { return cat({{type, 5, 0, 0}, value}); }
// Type, Length and the bytes that follow, zero-filled to Length words.
inline Bytes attr(uint8_t type, uint8_t words, const Bytes& afterLength = {}) {
    Bytes a = cat({{type, words}, afterLength});
    a.resize(std::max<size_t>(size_t{words} * 4, a.size()), 0);
    return a;
}
// AT_NEXT_PSEUDONYM, AT_NEXT_REAUTH_ID, AT_IDENTITY: actual length, text, padding.
inline Bytes identity_attr(uint8_t type, const std::string& text) {
    const Bytes length = be16(static_cast<unsigned>(text.size()));
    return attr(type, static_cast<uint8_t>((4 + text.size() + 3) / 4), cat({length, text_bytes(text)}));
}
// AT_IV and AT_ENCR_DATA with `plain` zero-padded with AT_PADDING to a
// whole AES block and encrypted under K_encr.
inline Bytes encrypted(const Bytes& kEncr, const Bytes& iv, const Bytes& plain) {
    const size_t pad = (16 - plain.size() % 16) % 16;
    const Bytes padded = pad == 0 ? plain : cat({plain, attr(kAtPadding, static_cast<uint8_t>(pad / 4))});
    const Bytes cipher = oracle::aes_cbc_encrypt(kEncr, iv, padded);
    return cat({attr16(kAtIv, iv), attr(kAtEncrData, static_cast<uint8_t>(cipher.size() / 4 + 1), cat({{0, 0}, cipher}))});
}
// AT_CHECKCODE: none (words 0), empty (Length 1), or `words` long with the
// digest cut or zero-filled to fit.
inline Bytes checkcode_attr(int words, Bytes digest) {
    if (words == 0) return {};
    digest.resize(static_cast<size_t>(words - 1) * 4);
    return cat({{kAtCheckcode, static_cast<uint8_t>(words), 0, 0}, digest});
}
// The packet with AT_MAC at macOffset: the method's HMAC (by the size of
// K_aut) over it, value zeroed, followed by `extra`.
inline Bytes with_mac(const Bytes& kAut, Bytes packet, size_t macOffset, const Bytes& extra = {}) {
    std::fill(packet.begin() + macOffset, packet.begin() + macOffset + 16, 0);
    const Bytes input = cat({packet, extra});
    const Bytes mac = kAut.size() == kPrimeKeySize ? oracle::hmac_sha256(kAut, input) : oracle::hmac_sha1(kAut, input);
    std::copy(mac.begin(), mac.begin() + 16, packet.begin() + static_cast<long>(macOffset));
    return packet;
}

struct ChallengePlan {
    uint64_t seq = 1;
    unsigned ind = 0;
    Bytes amf = {};          // empty: 0000 (EAP-AKA), 8000 (EAP-AKA')
    bool resultInd = false;
    int checkcodeWords = 0;  // 0 none, 1 empty, else the method's digest of the server's record
    Bytes encrPlain = {};    // attributes to send in AT_ENCR_DATA (padded here)
    bool badAutn = false;
    bool badMac = false;
    bool macNotLast = false; // AT_RESULT_IND after AT_MAC
    // EAP-AKA' only: the AT_KDF list in order, and AT_KDF_INPUT (none when
    // kdfInput is false; nameLength overrides the actual length written).
    std::vector<uint16_t> kdf = {1};
    std::string networkName = "WLAN";
    bool kdfInput = true;
    int nameLength = -1;
};

struct ReauthPlan {
    uint16_t counter = 1;
    Bytes nonceS = Bytes(16, 0xA5);
    Bytes extraEncr = {};    // more encrypted attributes after AT_NONCE_S
    bool resultInd = false;
    int checkcodeWords = 0;
};

class AkaServer {
public:
    // 3GPP TS 35.208 test sets 1 and 3 as the main and alternate subscriber.
    explicit AkaServer(TestKeyStore& store)
        : k(hex_to_bytes("465b5ce8b199b49faa5f0a2ee238a6bc")), opc(hex_to_bytes("cd63cb71954a9f4e48a5994e37a02baf")),
          kAlt(hex_to_bytes("fec86ba6eb707ed08905757b1bb44b8f")), opcAlt(hex_to_bytes("1006020f0a478bf6b699f15c062e42b3")) {
        // K, OPc, the alternate K and OPc, c1..c5: 16 bytes each, in a row.
        const Bytes keys = cat({k, opc, kAlt, opcAlt, params.c[0], params.c[1], params.c[2], params.c[3], params.c[4]});
        store.put(EAPAKA_KEB_K, keys, EAPAKA_KEB_R1 - EAPAKA_KEB_K);
        for (size_t i = 0; i < 5; ++i) {  // r1..r5, 32-bit little-endian
            const uint32_t r = static_cast<uint32_t>(params.r[i]);
            store.put(EAPAKA_KEB_R1 + 4 * i, {uint8_t(r), uint8_t(r >> 8), uint8_t(r >> 16), uint8_t(r >> 24)}, 4);
        }
        store.set_permanent_id("001010123456789");
    }

    void use_prime(bool prime = true) { type = prime ? kTypeAkaPrime : kTypeAka; }
    bool prime() const { return type == kTypeAkaPrime; }

    Bytes eap_identity() { return {1, nextId(), 0, 5, 1}; }
    Bytes identity_request(uint8_t idRequestType) {
        return lastIdentityRequest_ = aka_request(nextId(), 5, attr(idRequestType, 1), type);
    }
    // The latter also extends the AT_CHECKCODE record.
    void take_identity(const Bytes& response) {
        if (response.size() > 5 && response[4] == 1) {
            identity = slice(response, 5, response.size() - 5);
        } else if (response.size() >= 12 && response[4] == type && response[8] == kAtIdentity) {
            identity = slice(response, 12, size_t{response[10]} << 8 | response[11]);
            identityRecord = cat({identityRecord, lastIdentityRequest_, response});
        }
    }

    Bytes challenge(const ChallengePlan& plan) {
        lastChallenge_ = plan;
        const uint8_t requestId = nextId();
        rand = Bytes(16);
        for (int i = 0; i < 16; ++i) rand[i] = static_cast<uint8_t>(requestId * 31 + i * 7 + plan.seq);
        amf = !plan.amf.empty() ? plan.amf : prime() ? Bytes{0x80, 0x00} : Bytes{0x00, 0x00};
        const bool alt = amf == Bytes{0x00, 0x03};
        const Bytes sqn = be48(plan.seq << 5 | plan.ind);
        const oracle::MilenageOut m = oracle::milenage(alt ? kAlt : k, alt ? opcAlt : opc, rand, sqn, amf, params);
        autn = cat({sqn, amf, m.macA});
        for (int i = 0; i < 6; ++i) autn[i] ^= m.ak[i];
        if (plan.badAutn) autn[15] ^= 1;
        res = m.res;
        ck = m.ck;
        ik = m.ik;
        derive_full_keys();
        if (plan.checkcodeWords > 1) lastCheckcodeDigest = checkcode_digest();

        Bytes attrs = cat({attr16(kAtRand, rand), attr16(kAtAutn, autn)});
        if (plan.resultInd && !plan.macNotLast) attrs = cat({attrs, attr(kAtResultInd, 1)});
        attrs = cat({attrs, checkcode_attr(plan.checkcodeWords, lastCheckcodeDigest)});
        if (!plan.encrPlain.empty()) attrs = cat({attrs, encrypted(kEncr, Bytes(16, 0x3C), plan.encrPlain)});
        if (prime()) {  // RFC 9048 section 3.1: AT_KDF in the order given, then AT_KDF_INPUT
            for (uint16_t value : plan.kdf) attrs = cat({attrs, {kAtKdf, 1}, be16(value)});
            const Bytes name = text_bytes(plan.networkName);
            const unsigned actual = plan.nameLength >= 0 ? static_cast<unsigned>(plan.nameLength) : name.size();
            const Bytes kdfInput = attr(kAtKdfInput, static_cast<uint8_t>((4 + name.size() + 3) / 4), cat({be16(actual), name}));
            if (plan.kdfInput) attrs = cat({attrs, kdfInput});
        }
        Bytes packet = sealed(1, requestId, 1, attrs, plan.macNotLast ? attr(kAtResultInd, 1) : Bytes{});
        if (plan.badMac) packet[8 + attrs.size() + 4] ^= 0x80;
        return packet;
    }
    Bytes expected_challenge_response() const {
        Bytes attrs = cat({{kAtRes, 3, 0, 64}, res});
        if (lastChallenge_.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
        if (lastChallenge_.checkcodeWords != 0) attrs = cat({attrs, echoed_checkcode()});
        return sealed(2, lastRequestId, 1, attrs);
    }
    // Recovers SQN_MS from AUTS; false when MAC-S does not verify with
    // macSAmf (by default the AMF of the last challenge).
    bool verify_auts(const Bytes& auts, uint64_t* sqnMs, const Bytes& macSAmf = {}) const {
        const Bytes& macAmf = macSAmf.empty() ? amf : macSAmf;
        const oracle::MilenageOut star = oracle::milenage(k, opc, rand, Bytes(6, 0), macAmf, params);
        Bytes sqn(6);
        for (int i = 0; i < 6; ++i) sqn[i] = auts[i] ^ star.akStar[i];
        *sqnMs = 0;
        for (uint8_t b : sqn) *sqnMs = *sqnMs << 8 | b;
        return oracle::milenage(k, opc, rand, sqn, macAmf, params).macS == slice(auts, 6, 8);
    }

    Bytes reauth_request(const ReauthPlan& plan) {
        lastReauth_ = plan;
        const Bytes plain = cat({{kAtCounter, 1}, be16(plan.counter), attr16(kAtNonceS, plan.nonceS), plan.extraEncr});
        Bytes attrs = encrypted(kEncr, Bytes(16, 0x5A), plain);
        if (plan.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
        attrs = cat({attrs, checkcode_attr(plan.checkcodeWords, echoed_digest())});
        return sealed(1, nextId(), 13, attrs);
    }
    // EAP-AKA: MK becomes XKEY', chained or (fromFullMk) from the last full
    // authentication's MK. EAP-AKA' keeps K_re (RFC 9048 section 3.3).
    void derive_reauth_keys(bool fromFullMk = false) {
        const Bytes counter = be16(lastReauth_.counter);
        if (prime()) {
            msk = oracle::prf_prime(kRe, cat({text_bytes("EAP-AKA' re-auth"), identity, counter, lastReauth_.nonceS}), 64);
            return;
        }
        mk = oracle::sha1(cat({identity, counter, lastReauth_.nonceS, fromFullMk ? fullMk : mk}));
        msk = slice(oracle::fips186_prf(mk), 0, 64);
    }
    // The response can only be predicted once its IV, the peer's random
    // choice, is known.
    ::testing::AssertionResult check_reauth_response(const Bytes& r, bool fresh) const {
        const ReauthPlan& plan = lastReauth_;
        if (r.size() < 28) return ::testing::AssertionFailure() << "short response " << bytes_to_hex(r);
        const Bytes iv = slice(r, 12, 16);
        Bytes block = cat({{kAtCounter, 1}, be16(plan.counter)});
        block = fresh ? cat({block, attr(kAtPadding, 3)}) : cat({block, attr(kAtCounterTooSmall, 1), attr(kAtPadding, 2)});
        Bytes attrs = cat({attr16(kAtIv, iv), attr16(kAtEncrData, oracle::aes_cbc_encrypt(kEncr, iv, block))});
        if (plan.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
        if (plan.checkcodeWords != 0) attrs = cat({attrs, echoed_checkcode()});
        const Bytes expected = sealed(2, lastRequestId, 13, attrs, {}, plan.nonceS);
        if (r == expected) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << bytes_to_hex(r) << "\n  expected " << bytes_to_hex(expected);
    }

    // A request of `subtype` with `attrs` as they stand, no AT_MAC added.
    Bytes raw(uint8_t subtype, const Bytes& attrs) { return aka_request(nextId(), subtype, attrs, type); }
    Bytes notification(uint16_t code, bool withMac) {
        const Bytes attrs = {kAtNotification, 1, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
        return withMac ? sealed(1, nextId(), 12, attrs) : raw(12, attrs);
    }
    Bytes expected_notification_response(bool withMac) const {
        return withMac ? sealed(2, lastRequestId, 12, {}) : Bytes{2, lastRequestId, 0, 8, type, 12, 0, 0};
    }

    static Bytes eap_success(uint8_t id) { return {3, id, 0, 4}; }

    oracle::MilenageParams params = oracle::milenage_standard();
    Bytes k, opc, kAlt, opcAlt;
    Bytes identity, identityRecord;
    Bytes rand, autn, res, ck, ik, amf, mk, fullMk, kEncr, kAut, msk;
    Bytes ckPrime, ikPrime, kRe;  // EAP-AKA'
    Bytes lastCheckcodeDigest = Bytes(20, 0);
    bool rfcCheckcode = false;  // the peer runs with EAP_COMPAT_RFC_CHECKCODE
    uint8_t type = kTypeAka;
    uint8_t id = 0;
    uint8_t lastRequestId = 0;

private:
    uint8_t nextId() {
        id = static_cast<uint8_t>(id % 255 + 1);  // never 0
        return lastRequestId = id;
    }
    // A request (code 1) or response (code 2): `attrs`, AT_MAC, `after`.
    Bytes sealed(uint8_t code, uint8_t packetId, uint8_t subtype, const Bytes& attrs, const Bytes& after = {},
                 const Bytes& extra = {}) const {
        Bytes packet = aka_request(packetId, subtype, cat({attrs, attr16(kAtMac, Bytes(16, 0)), after}), type);
        packet[0] = code;
        return with_mac(kAut, packet, 8 + attrs.size() + 4, extra);
    }
    // RFC 4187 7 and RFC 9048 section 3.3.
    void derive_full_keys() {
        Bytes x;
        if (!prime()) {
            fullMk = mk = oracle::sha1(cat({identity, ik, ck}));
            x = oracle::fips186_prf(mk);
        } else {
            const Bytes kdfOut = oracle::kdf_3gpp(cat({ck, ik}), 0x20, {text_bytes(lastChallenge_.networkName), slice(autn, 0, 6)});
            ckPrime = slice(kdfOut, 0, 16);
            ikPrime = slice(kdfOut, 16, 16);
            x = oracle::prf_prime(cat({ikPrime, ckPrime}), cat({text_bytes("EAP-AKA'"), identity}), 208);
            kRe = slice(x, 48, kPrimeKeySize);
        }
        kEncr = slice(x, 0, 16);
        kAut = slice(x, 16, prime() ? kPrimeKeySize : 16);
        msk = slice(x, prime() ? 80 : 32, 64);
    }
    Bytes checkcode_digest() const { return prime() ? oracle::sha256(identityRecord) : oracle::sha1(identityRecord); }
    // EAP-AKA echoes the digest of its last check; empty when asked so and
    // no AKA-Identity round was recorded (RFC 4187 10.13).
    Bytes echoed_digest() const { return prime() ? checkcode_digest() : lastCheckcodeDigest; }
    Bytes echoed_checkcode() const {
        const Bytes digest = echoed_digest();
        return checkcode_attr(rfcCheckcode && identityRecord.empty() ? 1 : static_cast<int>(1 + digest.size() / 4), digest);
    }

    ChallengePlan lastChallenge_;
    ReauthPlan lastReauth_;
    Bytes lastIdentityRequest_;
};

}  // namespace akasrv

#endif
