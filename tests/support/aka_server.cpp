#include "support/aka_server.h"

#include <cstring>

namespace akasrv {

namespace {
constexpr uint8_t kAtRand = 1, kAtAutn = 2, kAtRes = 3, kAtPadding = 6, kAtMac = 11, kAtNotification = 12,
                  kAtIdentity = 14, kAtCounter = 19, kAtCounterTooSmall = 20, kAtNonceS = 21, kAtKdfInput = 23,
                  kAtKdf = 24, kAtIv = 129, kAtEncrData = 130, kAtCheckcode = 134, kAtResultInd = 135,
                  kAtBidding = 136;
constexpr size_t kPrimeKeySize = 32;  // K_aut and K_re of EAP-AKA'

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

Bytes be16(unsigned value) { return {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)}; }

// None (words 0), empty (Length 1), or `words` long with the digest cut or
// zero-filled to fit.
Bytes checkcode_attr(int words, Bytes digest) {
    if (words == 0) return {};
    digest.resize(static_cast<size_t>(words - 1) * 4);
    return cat({{kAtCheckcode, static_cast<uint8_t>(words), 0, 0}, digest});
}

// AT_CHECKCODE carrying the whole digest.
Bytes digest_attr(const Bytes& digest) { return checkcode_attr(static_cast<int>(1 + digest.size() / 4), digest); }

// RFC 9048 section 3.1: AT_KDF in the order given, then AT_KDF_INPUT.
Bytes kdf_attrs(const ChallengeSpec& spec) {
    Bytes a;
    for (uint16_t value : spec.kdf) a = cat({a, {kAtKdf, 1}, be16(value)});
    if (!spec.kdfInput) return a;
    const Bytes name = text_bytes(spec.networkName);
    const size_t words = (4 + name.size() + 3) / 4;
    const unsigned actual = spec.nameLength >= 0 ? static_cast<unsigned>(spec.nameLength) : name.size();
    return cat({a, attr(kAtKdfInput, static_cast<uint8_t>(words), cat({be16(actual), name}))});
}
}  // namespace

Bytes aka_request(uint8_t id, uint8_t subtype, const Bytes& attributes, uint8_t type) {
    const size_t n = 8 + attributes.size();
    return cat({{1, id, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), type, subtype, 0, 0}, attributes});
}

Bytes attr16(uint8_t type, const Bytes& value) { return cat({{type, 5, 0, 0}, value}); }

Bytes attr(uint8_t type, uint8_t words, const Bytes& afterLength) {
    Bytes a = cat({{type, words}, afterLength});
    a.resize(std::max<size_t>(size_t{words} * 4, a.size()), 0);
    return a;
}

Bytes identity_attr(uint8_t type, const std::string& text) {
    return attr(type, static_cast<uint8_t>((4 + text.size() + 3) / 4), cat({be16(static_cast<unsigned>(text.size())), text_bytes(text)}));
}

Bytes pad_to_block(Bytes plaintext) {
    const size_t pad = (16 - plaintext.size() % 16) % 16;
    return pad == 0 ? plaintext : cat({plaintext, attr(kAtPadding, static_cast<uint8_t>(pad / 4))});
}

Bytes be48(uint64_t value) {
    Bytes b(6);
    for (int i = 0; i < 6; ++i) b[i] = static_cast<uint8_t>(value >> (8 * (5 - i)));
    return b;
}

Bytes mac_over(const Bytes& kAut, Bytes packet, size_t macOffset, const Bytes& extra) {
    std::fill(packet.begin() + macOffset, packet.begin() + macOffset + 16, 0);
    packet.insert(packet.end(), extra.begin(), extra.end());
    return slice(kAut.size() == kPrimeKeySize ? oracle::hmac_sha256(kAut, packet) : oracle::hmac_sha1(kAut, packet),
                 0, 16);
}

Bytes with_mac(const Bytes& kAut, Bytes packet, size_t macOffset, const Bytes& extra) {
    const Bytes mac = mac_over(kAut, packet, macOffset, extra);
    std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<long>(macOffset));
    return packet;
}

AkaServer::AkaServer(TestKeyStore& store) {
    // 3GPP TS 35.208 test sets 1 and 3 as the main and alternate subscriber.
    k = hex_to_bytes("465b5ce8b199b49faa5f0a2ee238a6bc");
    opc = hex_to_bytes("cd63cb71954a9f4e48a5994e37a02baf");
    kAlt = hex_to_bytes("fec86ba6eb707ed08905757b1bb44b8f");
    opcAlt = hex_to_bytes("1006020f0a478bf6b699f15c062e42b3");
    store.set_key_set(k, opc);
    store.set_alt_key_set(kAlt, opcAlt);
    store.set_standard_milenage();
    store.set_permanent_id("001010123456789");
}

uint8_t AkaServer::nextId() {
    id = static_cast<uint8_t>(id % 255 + 1);  // never 0
    lastRequestId = id;
    return id;
}

Bytes AkaServer::eap_identity() { return {1, nextId(), 0, 5, 1}; }

Bytes AkaServer::identity_request(uint8_t idRequestType) {
    lastIdentityRequest_ = aka_request(nextId(), 5, attr(idRequestType, 1), type);
    return lastIdentityRequest_;
}

void AkaServer::take_identity(const Bytes& response) {
    if (response.size() > 5 && response[4] == 1) {
        identity = slice(response, 5, response.size() - 5);
    } else if (response.size() >= 12 && response[4] == type && response[8] == kAtIdentity) {
        identity = slice(response, 12, size_t{response[10]} << 8 | response[11]);
        identityRecord = cat({identityRecord, lastIdentityRequest_, response});
    }
}

// EAP-AKA: MK = SHA1(Identity | IK | CK) and the FIPS 186-2 PRF split.
// EAP-AKA': CK' | IK' from the KDF, MK = PRF'(IK' | CK', "EAP-AKA'" |
// Identity) split into K_encr, K_aut, K_re, MSK (RFC 9048 section 3.3).
void AkaServer::derive_full_keys() {
    if (!prime()) {
        mk = oracle::sha1(cat({identity, ik, ck}));
        fullMk = mk;
        const Bytes x = oracle::fips186_prf(mk);
        kEncr = slice(x, 0, 16);
        kAut = slice(x, 16, 16);
        msk = slice(x, 32, 64);
        return;
    }
    const Bytes kdfOut = oracle::kdf_3gpp(cat({ck, ik}), 0x20, {text_bytes(lastChallenge_.networkName), slice(autn, 0, 6)});
    ckPrime = slice(kdfOut, 0, 16);
    ikPrime = slice(kdfOut, 16, 16);
    const Bytes x = oracle::prf_prime(cat({ikPrime, ckPrime}), cat({text_bytes("EAP-AKA'"), identity}), 208);
    kEncr = slice(x, 0, 16);
    kAut = slice(x, 16, kPrimeKeySize);
    kRe = slice(x, 48, kPrimeKeySize);
    msk = slice(x, 80, 64);
}

Bytes AkaServer::checkcode_digest() const {
    return prime() ? oracle::sha256(identityRecord) : oracle::sha1(identityRecord);
}

Bytes AkaServer::echoed_digest() const { return prime() ? checkcode_digest() : lastCheckcodeDigest; }

// RFC 4187 10.13: empty when asked to answer so and no AKA-Identity round was recorded.
Bytes AkaServer::echoed_checkcode() const {
    return rfcCheckcode && identityRecord.empty() ? attr(kAtCheckcode, 1) : digest_attr(echoed_digest());
}

Bytes AkaServer::challenge(const ChallengeSpec& spec) {
    lastChallenge_ = spec;
    const uint8_t requestId = nextId();
    rand = Bytes(16);
    for (int i = 0; i < 16; ++i) rand[i] = static_cast<uint8_t>(requestId * 31 + i * 7 + spec.seq);
    amf = !spec.amf.empty() ? spec.amf : prime() ? Bytes{0x80, 0x00} : Bytes{0x00, 0x00};
    const bool alt = amf == Bytes{0x00, 0x03};
    const Bytes sqn = be48(spec.seq << 5 | spec.ind);
    const oracle::MilenageOut m = oracle::milenage(alt ? kAlt : k, alt ? opcAlt : opc, rand, sqn, amf, params);
    autn = Bytes(16);
    for (int i = 0; i < 6; ++i) autn[i] = sqn[i] ^ m.ak[i];
    autn[6] = amf[0];
    autn[7] = amf[1];
    std::copy(m.macA.begin(), m.macA.end(), autn.begin() + 8);
    if (spec.badAutn) autn[15] ^= 1;
    res = m.res;
    ck = m.ck;
    ik = m.ik;
    derive_full_keys();
    if (spec.checkcodeWords > 1) lastCheckcodeDigest = checkcode_digest();

    Bytes attrs = cat({attr16(kAtRand, rand), attr16(kAtAutn, autn)});
    if (spec.resultInd && !spec.macNotLast) attrs = cat({attrs, attr(kAtResultInd, 1)});
    attrs = cat({attrs, checkcode_attr(spec.checkcodeWords, lastCheckcodeDigest)});
    if (!spec.encrPlain.empty()) {
        const Bytes iv(16, 0x3C);
        const Bytes cipher = oracle::aes_cbc_encrypt(kEncr, iv, pad_to_block(spec.encrPlain));
        attrs = cat({attrs, attr16(kAtIv, iv), attr(kAtEncrData, static_cast<uint8_t>(cipher.size() / 4 + 1), cat({{0, 0}, cipher}))});
    }
    if (prime()) attrs = cat({attrs, kdf_attrs(spec)});
    if (spec.bidding >= 0) attrs = cat({attrs, {kAtBidding, 1}, be16(static_cast<unsigned>(spec.bidding))});
    const size_t macOffset = 8 + attrs.size();
    attrs = cat({attrs, attr16(kAtMac, Bytes(16, 0))});
    if (spec.macNotLast) attrs = cat({attrs, attr(kAtResultInd, 1)});
    Bytes packet = with_mac(kAut, aka_request(requestId, 1, attrs, type), macOffset + 4);
    if (spec.badMac) packet[macOffset + 4] ^= 0x80;
    return packet;
}

// A response of `subtype` to the last request: `attrs`, then AT_MAC over
// the packet followed by `extra`.
Bytes AkaServer::response_with_mac(uint8_t subtype, const Bytes& attrs, const Bytes& extra) const {
    Bytes packet = aka_request(lastRequestId, subtype, cat({attrs, attr16(kAtMac, Bytes(16, 0))}), type);
    packet[0] = 2;
    return with_mac(kAut, packet, packet.size() - 16, extra);
}

Bytes AkaServer::expected_challenge_response() const {
    Bytes attrs = cat({{kAtRes, 3, 0, 64}, res});
    if (lastChallenge_.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
    if (lastChallenge_.checkcodeWords != 0) attrs = cat({attrs, echoed_checkcode()});
    return response_with_mac(1, attrs);
}

bool AkaServer::verify_auts(const Bytes& auts, uint64_t* sqnMs, const Bytes& macSAmf) const {
    const Bytes& macAmf = macSAmf.empty() ? amf : macSAmf;
    const oracle::MilenageOut star = oracle::milenage(k, opc, rand, Bytes(6, 0), macAmf, params);
    Bytes sqn(6);
    for (int i = 0; i < 6; ++i) sqn[i] = auts[i] ^ star.akStar[i];
    const oracle::MilenageOut m = oracle::milenage(k, opc, rand, sqn, macAmf, params);
    *sqnMs = 0;
    for (uint8_t b : sqn) *sqnMs = *sqnMs << 8 | b;
    return m.macS == slice(auts, 6, 8);
}

Bytes AkaServer::reauth_request(const ReauthSpec& spec) {
    lastReauth_ = spec;
    const Bytes plain = pad_to_block(cat({{kAtCounter, 1, static_cast<uint8_t>(spec.counter >> 8), static_cast<uint8_t>(spec.counter)},
                                          attr16(kAtNonceS, spec.nonceS), spec.extraEncr}));
    const Bytes iv(16, 0x5A);
    const Bytes cipher = oracle::aes_cbc_encrypt(kEncr, iv, plain);
    Bytes attrs = cat({attr16(kAtIv, iv), attr(kAtEncrData, static_cast<uint8_t>(cipher.size() / 4 + 1), cat({{0, 0}, cipher}))});
    if (spec.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
    attrs = cat({attrs, checkcode_attr(spec.checkcodeWords, echoed_digest())});
    const size_t macOffset = 8 + attrs.size() + 4;
    attrs = cat({attrs, attr16(kAtMac, Bytes(16, 0))});
    Bytes packet = with_mac(kAut, aka_request(nextId(), 13, attrs, type), macOffset);
    if (spec.badMac) packet[macOffset + 15] ^= 1;
    return packet;
}

// EAP-AKA' takes MSK from PRF'(K_re, "EAP-AKA' re-auth" | Identity | counter
// | NONCE_S) and leaves K_re as it is (RFC 9048 section 3.3).
void AkaServer::derive_reauth_keys(bool fromFullMk) {
    const Bytes counter = be16(lastReauth_.counter);
    if (prime()) {
        msk = oracle::prf_prime(kRe, cat({text_bytes("EAP-AKA' re-auth"), identity, counter, lastReauth_.nonceS}), 64);
        return;
    }
    mk = oracle::sha1(cat({identity, counter, lastReauth_.nonceS, fromFullMk ? fullMk : mk}));
    msk = slice(oracle::fips186_prf(mk), 0, 64);
}

// The response can only be predicted once its IV, the peer's random
// choice, is known: everything else follows from the request.
::testing::AssertionResult AkaServer::check_reauth_response(const Bytes& r, bool fresh) const {
    const ReauthSpec& spec = lastReauth_;
    if (r.size() < 28) return ::testing::AssertionFailure() << "short response " << bytes_to_hex(r);
    const Bytes iv = slice(r, 12, 16);
    Bytes block = cat({{kAtCounter, 1}, be16(spec.counter)});
    block = fresh ? cat({block, attr(kAtPadding, 3)}) : cat({block, attr(kAtCounterTooSmall, 1), attr(kAtPadding, 2)});
    Bytes attrs = cat({attr16(kAtIv, iv), attr16(kAtEncrData, oracle::aes_cbc_encrypt(kEncr, iv, block))});
    if (spec.resultInd) attrs = cat({attrs, attr(kAtResultInd, 1)});
    if (spec.checkcodeWords != 0) attrs = cat({attrs, echoed_checkcode()});
    const Bytes expected = response_with_mac(13, attrs, spec.nonceS);
    if (r == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bytes_to_hex(r) << "\n  expected " << bytes_to_hex(expected);
}

Bytes AkaServer::notification(uint16_t code, bool withMac) {
    Bytes attrs = {kAtNotification, 1, static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    if (!withMac) return aka_request(nextId(), 12, attrs, type);
    return with_mac(kAut, aka_request(nextId(), 12, cat({attrs, attr16(kAtMac, Bytes(16, 0))}), type), 16);
}

Bytes AkaServer::expected_notification_response(bool withMac) const {
    if (!withMac) return {2, lastRequestId, 0, 8, type, 12, 0, 0};
    return response_with_mac(12, {});
}

}  // namespace akasrv
