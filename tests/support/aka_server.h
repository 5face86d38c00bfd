// A test-side EAP-AKA and EAP-AKA' server: builds requests the way an
// authenticator does and checks the peer's responses byte by byte. Its
// crypto is the OpenSSL oracle, never the library's.
#ifndef EAPAKA_TESTS_SUPPORT_AKA_SERVER_H
#define EAPAKA_TESTS_SUPPORT_AKA_SERVER_H

#include <cstdint>
#include <string>

#include "support/oracle.h"
#include "support/test_host.h"

namespace akasrv {

constexpr uint8_t kTypeAka = 23, kTypeAkaPrime = 50;

// EAP-Request of the method `type` with the given Identifier, Subtype and
// attributes.
Bytes aka_request(uint8_t id, uint8_t subtype, const Bytes& attributes, uint8_t type = kTypeAka);
// Attribute with a 16-byte value after two reserved bytes (Length 5).
Bytes attr16(uint8_t type, const Bytes& value);
// Attribute Type, Length and the bytes that follow, zero-filled to Length words.
Bytes attr(uint8_t type, uint8_t words, const Bytes& afterLength = {});
// AT_NEXT_PSEUDONYM / AT_NEXT_REAUTH_ID / AT_IDENTITY style: actual length,
// the text, padding to a whole word.
Bytes identity_attr(uint8_t type, const std::string& text);
// Zero-pads plaintext with AT_PADDING to a whole AES block.
Bytes pad_to_block(Bytes plaintext);
Bytes be48(uint64_t value);
// The first 16 bytes of the method's HMAC over packet (AT_MAC value at
// macOffset zeroed) followed by extra: HMAC-SHA1 under EAP-AKA's 16-byte
// K_aut, HMAC-SHA-256 under the 32-byte K_aut of EAP-AKA'.
Bytes mac_over(const Bytes& kAut, Bytes packet, size_t macOffset, const Bytes& extra = {});
// The packet with that MAC written at macOffset.
Bytes with_mac(const Bytes& kAut, Bytes packet, size_t macOffset, const Bytes& extra = {});

struct ChallengeSpec {
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
    // EAP-AKA only: AT_BIDDING with this value (none when negative).
    int bidding = -1;
};

struct ReauthSpec {
    uint16_t counter = 1;
    Bytes nonceS = Bytes(16, 0xA5);
    Bytes extraEncr = {};    // more encrypted attributes after AT_NONCE_S
    bool resultInd = false;
    int checkcodeWords = 0;
    bool badMac = false;
};

class AkaServer {
public:
    explicit AkaServer(TestKeyStore& store);

    // Runs EAP-AKA' (Type 50) from now on, or EAP-AKA again.
    void use_prime(bool prime = true) { type = prime ? kTypeAkaPrime : kTypeAka; }
    bool prime() const { return type == kTypeAkaPrime; }

    // EAP-Request/Identity.
    Bytes eap_identity();
    // EAP-Request/AKA-Identity whose only attribute is of idRequestType.
    Bytes identity_request(uint8_t idRequestType);
    // Learns the identity from an EAP-Response/Identity or AKA-Identity
    // response; the latter also extends the AT_CHECKCODE record.
    void take_identity(const Bytes& response);

    Bytes challenge(const ChallengeSpec& spec);
    Bytes expected_challenge_response() const;
    // Recovers SQN_MS from AUTS; false when MAC-S does not verify with
    // macSAmf (by default the AMF of the last challenge).
    bool verify_auts(const Bytes& auts, uint64_t* sqnMs, const Bytes& macSAmf = {}) const;

    Bytes reauth_request(const ReauthSpec& spec);
    // Keys of an accepted re-authentication: MK becomes XKEY', MSK from it.
    // XKEY' comes from the MK in place (chained) or, with fromFullMk, from the
    // MK of the last full authentication.
    void derive_reauth_keys(bool fromFullMk = false);
    // Checks the AKA-Reauthentication response: layout, encrypted counter
    // block (with AT_COUNTER_TOO_SMALL when !fresh) and the MAC over the
    // packet followed by NONCE_S.
    ::testing::AssertionResult check_reauth_response(const Bytes& response, bool fresh) const;

    Bytes notification(uint16_t code, bool withMac);
    Bytes expected_notification_response(bool withMac) const;

    static Bytes eap_success(uint8_t id) { return {3, id, 0, 4}; }
    static Bytes eap_failure(uint8_t id) { return {4, id, 0, 4}; }

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
    Bytes response_with_mac(uint8_t subtype, const Bytes& attrs, const Bytes& extra = {}) const;
    ChallengeSpec lastChallenge_;
    ReauthSpec lastReauth_;
    Bytes lastIdentityRequest_;
    uint8_t nextId();
    void derive_full_keys();
    Bytes checkcode_digest() const;
    // The digest the peer's AT_CHECKCODE carries: that of this exchange in
    // EAP-AKA', that of its last check in EAP-AKA.
    Bytes echoed_digest() const;
    Bytes echoed_checkcode() const;
};

}  // namespace akasrv

#endif
