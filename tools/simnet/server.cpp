#include "tools/simnet/server.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>

#include "refcrypto/refcrypto.h"

namespace tool {

namespace {

constexpr size_t RES_SIZE = 8;
constexpr size_t KEY_SIZE = 16;   // K_encr, and K_aut of EAP-AKA
constexpr size_t PRIME_KEY_SIZE = 32;  // K_aut and K_re of EAP-AKA'
constexpr size_t MSK_SIZE = 64;
constexpr size_t AUTS_SIZE = 14;
constexpr size_t SQN_XOR_AK_SIZE = 6;   // the first bytes of AUTN
// RFC 9048 section 3.3: K_encr, K_aut, K_re, MSK, EMSK.
constexpr size_t PRIME_MK_SIZE = KEY_SIZE + 2 * PRIME_KEY_SIZE + 2 * MSK_SIZE;
constexpr uint8_t FC_CK_IK_PRIME = 0x20;   // 3GPP TS 33.402 Annex A.2
const char PRIME_KEY_LABEL[] = "EAP-AKA'";
const char PRIME_REAUTH_LABEL[] = "EAP-AKA' re-auth";
constexpr size_t REAUTH_ID_RANDOM_DIGITS = 16;
constexpr char DEFAULT_PSEUDONYM_MARK = 'G';  // the only pseudonyms the library takes by default
constexpr char OPAQUE_PSEUDONYM_MARK = 'P';
constexpr char REAUTH_ID_MARK = 'R';
constexpr size_t CHECKCODE_EMPTY_VALUE = 2;        // the two reserved bytes (Length 1)

Bytes with_u16(uint16_t field, const uint8_t* value, size_t length) {
    Bytes body(2 + length);
    put_be16(body.data(), field);
    if (length > 0) std::memcpy(body.data() + 2, value, length);
    return body;
}

std::string user_part(const std::string& identity) {
    size_t at = identity.find('@');
    return at == std::string::npos ? identity : identity.substr(0, at);
}

bool equal(const uint8_t* a, const uint8_t* b, size_t n) { return CRYPTO_memcmp(a, b, n) == 0; }

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// `first` and `digits` random hex digits.
std::string random_text(NetRandom& random, char first, size_t digits) {
    static const char alphabet[] = "0123456789ABCDEF";
    std::string text(1, first);
    uint8_t r[32];
    random.fill(r, digits);
    for (size_t i = 0; i < digits; ++i) text += alphabet[r[i] & 0x0F];
    return text;
}

// A value of exactly `size` bytes after the two reserved bytes.
const uint8_t* reserved_value(const Attribute* a, size_t size) {
    if (a == nullptr || a->valueSize != 2 + size) return nullptr;
    return a->value + 2;
}

}  // namespace

NetworkRules network_rules(NetworkProfile profile) {
    NetworkRules rules;
    if (profile == NetworkProfile::Rfc4187) {
        rules.bidding = true;
        rules.checkcodeAlways = true;
        rules.counterPerFullAuth = true;
        rules.opaquePseudonyms = true;
        rules.reauthIdInReauth = true;
        rules.macSWithDummyAmf = true;
    }
    return rules;
}

const char* network_profile_name(NetworkProfile profile) {
    return profile == NetworkProfile::Rfc4187 ? "rfc4187" : "default";
}

bool network_profile_from_name(const std::string& name, NetworkProfile& profile) {
    for (NetworkProfile p : {NetworkProfile::Default, NetworkProfile::Rfc4187}) {
        if (name == network_profile_name(p)) {
            profile = p;
            return true;
        }
    }
    return false;
}

std::string network_rules_text(const NetworkRules& rules) {
    const std::pair<bool, const char*> parts[] = {
        {rules.bidding, "AT_BIDDING in every challenge"},
        {rules.checkcodeAlways, "AT_CHECKCODE always"},
        {rules.counterPerFullAuth, "AT_COUNTER from 1 after every full authentication"},
        {rules.opaquePseudonyms, "pseudonyms not starting with G"},
        {rules.reauthIdInReauth, "a new re-authentication identity in every re-authentication"},
        {rules.macSWithDummyAmf, "MAC-S with AMF 0000"},
    };
    std::string text;
    for (const auto& part : parts) {
        if (part.first) text += (text.empty() ? "" : ", ") + std::string(part.second);
    }
    return text.empty() ? "none" : text;
}

EapAkaServer::EapAkaServer(Hss& hss, std::string realm, NetRandom& random, const NetworkRules& rules,
                           NetworkMethod method)
    : hss_(hss), realm_(std::move(realm)), random_(random), rules_(rules), method_(std::move(method)) {}

uint8_t EapAkaServer::next_identifier() {
    // Identifier 0 is skipped: the peer treats it as "no response held".
    identifier_ = static_cast<uint8_t>(identifier_ + 1);
    if (identifier_ == 0) identifier_ = 1;
    return identifier_;
}

ServerStep EapAkaServer::send_request(const Bytes& packet) {
    lastRequest_ = packet;
    return ServerStep{packet, false};
}

ServerStep EapAkaServer::fail(const std::string& reason) {
    outcome_ = ServerOutcome::Failure;
    reason_ = reason;
    state_ = State::Done;
    return ServerStep{eap_header_only(EAP_FAILURE, identifier_), true};
}

ServerStep EapAkaServer::succeed() {
    outcome_ = ServerOutcome::Success;
    state_ = State::Done;
    return ServerStep{eap_header_only(EAP_SUCCESS, identifier_), true};
}

ServerStep EapAkaServer::start(const ServerPlan& plan) {
    plan_ = plan;
    type_ = method_.prime && !plan.bidDown ? EAP_TYPE_AKA_PRIME : EAP_TYPE_AKA;
    kdfList_ = plan.kdfOffer;
    kdfNegotiated = false;
    state_ = State::Identity;
    outcome_ = ServerOutcome::Pending;
    reason_.clear();
    identity_.clear();
    identityRound_ = 0;
    identityRecord_.clear();
    haveKeys_ = false;
    syncFailures = 0;
    reauthenticated = false;
    reauthCounter = 0;
    counterTooSmall = false;
    peerResultInd = false;
    peerRefusal = 0;
    issuedPseudonym.clear();
    issuedReauthId.clear();
    if (plan.forgetReauthIds) reauthContexts_.clear();
    return send_request(eap_identity_request(next_identifier()));
}

ServerStep EapAkaServer::handle(const Bytes& response) {
    EapPacket p;
    if (state_ == State::Done) return ServerStep{{}, true};
    if (!p.parse(response) || !p.attributesWellFormed) return fail("malformed response from the peer");
    if (p.code != EAP_RESPONSE) return fail("peer sent a packet that is not an EAP-Response");
    if (p.identifier != identifier_) return fail("response Identifier does not match the request");
    const std::string method = prime() ? "EAP-AKA'" : "EAP-AKA";
    if (p.type == EAP_TYPE_NAK) return fail("peer refused " + method + " with a Nak");
    if (state_ == State::Identity) return on_identity(p, response);
    if (p.type != type_) return fail("peer answered with a non-" + method + " response");
    if (p.subtype == AKA_CLIENT_ERROR) {
        peerRefusal = AKA_CLIENT_ERROR;
        const Attribute* code = p.find(AT_CLIENT_ERROR_CODE);
        unsigned value = code != nullptr && code->valueSize >= 2 ? get_be16(code->value) : 0;
        return fail(std::string("peer sent ") + aka_subtype_name(AKA_CLIENT_ERROR, type_) + " (code " +
                    std::to_string(value) + ")");
    }
    switch (state_) {
    case State::AkaIdentity: return on_aka_identity(p, response);
    case State::Challenge: return on_challenge(p, response);
    case State::Reauth: return on_reauth(p, response);
    case State::Notification: return on_notification(p, response);
    default: return fail("response in an unexpected state");
    }
}

ServerStep EapAkaServer::on_identity(const EapPacket& p, const Bytes& raw) {
    if (p.type != EAP_TYPE_IDENTITY) return fail("peer did not answer the Identity request");
    identity_.assign(raw.begin() + 5, raw.begin() + p.length);
    if (plan_.identityRounds) return send_identity_request(AT_ANY_ID_REQ);
    return choose_authentication(identity_);
}

// RFC 4187 4.1.1: a known fast re-authentication identity gets fast
// re-authentication, a known pseudonym or the permanent identity a full
// authentication; anything else is asked for again, first for a full
// authentication identity and then for the permanent one.
ServerStep EapAkaServer::choose_authentication(const std::string& identity) {
    auto context = reauthContexts_.find(identity);
    if (context != reauthContexts_.end()) {
        context_ = context->second;
        reauthContexts_.erase(context);  // one fast re-authentication per identity
        return send_reauthentication();
    }
    const SubscriberProfile& subscriber = hss_.record();
    std::string user = user_part(identity);
    if (user == subscriber.permanentId ||
        (subscriber.has_pseudonym() && user == subscriber.pseudonym_text())) {
        return send_challenge();
    }
    if (identityRound_ == 0) return send_identity_request(AT_FULLAUTH_ID_REQ);
    if (identityRound_ == 1) return send_identity_request(AT_PERMANENT_ID_REQ);
    return fail("unknown identity '" + identity + "'");
}

ServerStep EapAkaServer::send_identity_request(uint8_t requestAttribute) {
    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_IDENTITY, type_);
    b.add_reserved(requestAttribute, nullptr, 0);
    Bytes packet = b.finish();
    identityRecord_.insert(identityRecord_.end(), packet.begin(), packet.end());
    ++identityRound_;
    state_ = State::AkaIdentity;
    return send_request(packet);
}

ServerStep EapAkaServer::on_aka_identity(const EapPacket& p, const Bytes& raw) {
    if (p.subtype != AKA_IDENTITY) return fail("peer did not answer the AKA-Identity request");
    const Attribute* a = p.find(AT_IDENTITY);
    if (a == nullptr || a->valueSize < 2 || get_be16(a->value) > a->valueSize - 2) {
        return fail("AKA-Identity response without a well-formed AT_IDENTITY");
    }
    identity_.assign(reinterpret_cast<const char*>(a->value + 2), get_be16(a->value));
    identityRecord_.insert(identityRecord_.end(), raw.begin(), raw.begin() + p.length);
    if (plan_.identityRounds && identityRound_ == 1) return send_identity_request(AT_PERMANENT_ID_REQ);
    return choose_authentication(identity_);
}

// RFC 4187 section 7: MK = SHA1(Identity | IK | CK), then the PRF split.
// RFC 9048 section 3.3: CK' | IK' from the 3GPP KDF over the network name
// and SQN xor AK as AUTN carries it, then MK = PRF'(IK' | CK', "EAP-AKA'" |
// Identity) split into K_encr, K_aut, K_re, MSK and EMSK.
void EapAkaServer::derive_full_keys() {
    haveKeys_ = true;
    if (prime()) {
        const Bytes ckIkPrime = refcrypto::kdf_3gpp(
            concat({Bytes(vector_.ck, vector_.ck + KEY_SIZE), Bytes(vector_.ik, vector_.ik + KEY_SIZE)}),
            FC_CK_IK_PRIME, {text_bytes(method_.networkName), Bytes(vector_.autn, vector_.autn + SQN_XOR_AK_SIZE)});
        mk_ = refcrypto::prf_prime(concat({slice(ckIkPrime, KEY_SIZE, KEY_SIZE), slice(ckIkPrime, 0, KEY_SIZE)}),
                                   concat({text_bytes(PRIME_KEY_LABEL), text_bytes(identity_)}), PRIME_MK_SIZE);
        kEncr_ = slice(mk_, 0, KEY_SIZE);
        kAut_ = slice(mk_, KEY_SIZE, PRIME_KEY_SIZE);
        kRe_ = slice(mk_, KEY_SIZE + PRIME_KEY_SIZE, PRIME_KEY_SIZE);
        msk_ = slice(mk_, KEY_SIZE + 2 * PRIME_KEY_SIZE, MSK_SIZE);
        return;
    }
    Bytes input(identity_.begin(), identity_.end());
    input.insert(input.end(), vector_.ik, vector_.ik + 16);
    input.insert(input.end(), vector_.ck, vector_.ck + 16);
    mk_ = refcrypto::sha1(input);
    Bytes x = refcrypto::fips186_prf(mk_);
    kEncr_ = slice(x, 0, KEY_SIZE);
    kAut_ = slice(x, KEY_SIZE, KEY_SIZE);
    msk_ = slice(x, 2 * KEY_SIZE, MSK_SIZE);
}

// AT_MAC (RFC 4187 10.15): the first 16 bytes of HMAC-SHA1 under K_aut; in
// EAP-AKA' of HMAC-SHA-256 under its 32-byte K_aut (RFC 9048 section 3.4).
Bytes EapAkaServer::at_mac(const Bytes& data) const {
    Bytes mac = prime() ? refcrypto::hmac_sha256(kAut_, data) : refcrypto::hmac_sha1(kAut_, data);
    mac.resize(MAC_SIZE);
    return mac;
}

// The AT_CHECKCODE digest of the AKA-Identity messages: SHA-1 (RFC 4187
// 10.13), SHA-256 in EAP-AKA' (RFC 9048 section 3.4).
Bytes EapAkaServer::identity_digest() const {
    return prime() ? refcrypto::sha256(identityRecord_) : refcrypto::sha1(identityRecord_);
}

// Fills the zeroed AT_MAC value at macOffset.
void EapAkaServer::seal(Bytes& packet, size_t macOffset) const {
    Bytes mac = at_mac(packet);
    std::copy(mac.begin(), mac.end(), packet.begin() + static_cast<std::ptrdiff_t>(macOffset));
}

Bytes EapAkaServer::encrypted_block(const Bytes& plain) {
    Bytes iv(AES_BLOCK);
    random_.fill(iv.data(), iv.size());
    Bytes out = iv;
    Bytes cipher = refcrypto::aes_cbc_encrypt(kEncr_, iv, plain);
    out.insert(out.end(), cipher.begin(), cipher.end());
    return out;  // IV first, then the ciphertext
}

// AT_IV and AT_ENCR_DATA holding `plain`, padded to whole AES blocks.
void EapAkaServer::add_encrypted(AkaPacketBuilder& b, Bytes plain) {
    append_padding(plain);
    Bytes ivAndCipher = encrypted_block(plain);
    b.add_reserved(AT_IV, ivAndCipher.data(), AES_BLOCK);
    b.add_reserved(AT_ENCR_DATA, ivAndCipher.data() + AES_BLOCK, ivAndCipher.size() - AES_BLOCK);
}

// RFC 4187 10.13: the digest of the AKA-Identity messages of this exchange.
// A challenge carries it after identity rounds; under checkcodeAlways every
// challenge and re-authentication does, empty when there were none.
void EapAkaServer::add_checkcode(AkaPacketBuilder& b, bool inChallenge) {
    checkcodeSent_ = rules_.checkcodeAlways || (inChallenge && !identityRecord_.empty());
    if (!checkcodeSent_) return;
    if (identityRecord_.empty()) {
        b.add_reserved(AT_CHECKCODE, nullptr, 0);
        return;
    }
    Bytes digest = identity_digest();
    b.add_reserved(AT_CHECKCODE, digest.data(), digest.size());
}

// The peer's AT_CHECKCODE answers the one sent: the same digest, or empty.
bool EapAkaServer::checkcode_matches(const EapPacket& p) const {
    if (!checkcodeSent_) return true;
    const Attribute* a = p.find(AT_CHECKCODE);
    if (identityRecord_.empty()) return a != nullptr && a->valueSize == CHECKCODE_EMPTY_VALUE;
    Bytes digest = identity_digest();
    const uint8_t* checkcode = reserved_value(a, digest.size());
    return checkcode != nullptr && equal(checkcode, digest.data(), digest.size());
}

// A new fast re-authentication identity, "R", hex digits and the realm.
void EapAkaServer::append_reauth_id(Bytes& plain) {
    issuedReauthId = random_text(random_, REAUTH_ID_MARK, REAUTH_ID_RANDOM_DIGITS) + realm_;
    Bytes body = with_u16(static_cast<uint16_t>(issuedReauthId.size()),
                          reinterpret_cast<const uint8_t*>(issuedReauthId.data()), issuedReauthId.size());
    append_attribute(plain, AT_NEXT_REAUTH_ID, body.data(), body.size());
}

ServerStep EapAkaServer::send_challenge() {
    if (plan_.replaySqn && syncFailures == 0) hss_.roll_back();
    vector_ = hss_.generate(plan_.alternateKeySet, !plan_.noSeparationBit);
    return send_challenge_packet();
}

// The challenge for the current vector.
ServerStep EapAkaServer::send_challenge_packet() {
    derive_full_keys();

    uint8_t autn[16];
    std::memcpy(autn, vector_.autn, sizeof autn);
    if (plan_.corruptAutn) autn[15] ^= 0x01;

    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_CHALLENGE, type_);
    b.add_reserved(AT_RAND, vector_.rand, 16);
    b.add_reserved(AT_AUTN, autn, 16);
    if (prime()) {
        // RFC 9048 sections 3.1 and 3.2: the functions offered, most
        // preferred first, and the name the keys are bound to.
        for (uint16_t kdf : kdfList_) b.add_with_u16(AT_KDF, kdf, nullptr, 0);
        b.add_with_u16(AT_KDF_INPUT, static_cast<uint16_t>(method_.networkName.size()),
                       reinterpret_cast<const uint8_t*>(method_.networkName.data()), method_.networkName.size());
    }
    if (plan_.resultIndication || plan_.failureNotification) b.add_reserved(AT_RESULT_IND, nullptr, 0);
    add_checkcode(b, true);
    if (plan_.issuePseudonym || plan_.issueReauthId) {
        Bytes plain;
        if (plan_.issuePseudonym) {
            issuedPseudonym = rules_.opaquePseudonyms
                                  ? random_text(random_, OPAQUE_PSEUDONYM_MARK, OPAQUE_PSEUDONYM_LENGTH - 1)
                                  : random_text(random_, DEFAULT_PSEUDONYM_MARK, PSEUDONYM_LENGTH - 1);
            Bytes body = with_u16(static_cast<uint16_t>(issuedPseudonym.size()),
                                  reinterpret_cast<const uint8_t*>(issuedPseudonym.data()),
                                  issuedPseudonym.size());
            append_attribute(plain, AT_NEXT_PSEUDONYM, body.data(), body.size());
            // The network maps the pseudonym to the subscriber from now on.
            std::memset(hss_.record().pseudonym, 0, PROFILE_PSEUDONYM_SIZE);
            std::memcpy(hss_.record().pseudonym, issuedPseudonym.data(), issuedPseudonym.size());
        }
        if (plan_.issueReauthId) append_reauth_id(plain);
        add_encrypted(b, plain);
    }
    // RFC 9048 section 4: D set only where the network would rather run
    // EAP-AKA', i.e. in an exchange bid down from it.
    if (!prime() && (rules_.bidding || plan_.bidDown)) {
        b.add_with_u16(AT_BIDDING, plan_.bidDown ? BIDDING_D_BIT : 0, nullptr, 0);
    }
    size_t macOffset = b.add_zero_mac();
    Bytes packet = b.finish();
    seal(packet, macOffset);
    if (plan_.corruptMac) packet[macOffset] ^= 0x01;
    state_ = State::Challenge;
    return send_request(packet);
}

// AT_MAC (RFC 4187 10.15): HMAC-SHA1-128 over the packet with the MAC value
// zeroed, followed by `extra` (NONCE_S for a re-authentication response).
bool EapAkaServer::verify_mac(const EapPacket& p, const Bytes& raw, const Bytes& extra,
                              const std::string& what, std::string& why) const {
    const Attribute* a = p.find(AT_MAC);
    if (a == nullptr || p.count(AT_MAC) != 1 || a->valueSize != 2 + MAC_SIZE) {
        why = what + ": AT_MAC missing or malformed";
        return false;
    }
    Bytes input(raw.begin(), raw.begin() + p.length);
    std::memset(input.data() + a->offset + 4, 0, MAC_SIZE);
    input.insert(input.end(), extra.begin(), extra.end());
    if (!equal(at_mac(input).data(), raw.data() + a->offset + 4, MAC_SIZE)) {
        why = what + ": AT_MAC does not verify";
        return false;
    }
    return true;
}

ServerStep EapAkaServer::on_challenge(const EapPacket& p, const Bytes& raw) {
    std::string why;
    switch (p.subtype) {
    case AKA_SYNCHRONIZATION_FAILURE: {
        const Attribute* a = p.find(AT_AUTS);
        if (a == nullptr || a->valueSize != AUTS_SIZE) return fail("Synchronization-Failure without AT_AUTS");
        if (++syncFailures > MAX_SYNC_FAILURES) return fail("too many synchronisation failures");
        if (prime() && !kdf_list_echoed(p)) {
            return fail("AKA'-Synchronization-Failure without the AT_KDF list of the challenge (RFC 9048 section 3.2)");
        }
        if (!hss_.resynchronise(vector_, a->value, rules_.macSWithDummyAmf)) {
            return fail(rules_.macSWithDummyAmf ? "AUTS: MAC-S does not verify with the dummy AMF 0000"
                                                : "AUTS: MAC-S does not verify");
        }
        return send_challenge();
    }
    case AKA_AUTHENTICATION_REJECT:
        peerRefusal = AKA_AUTHENTICATION_REJECT;
        return fail(rejection_reason());
    case AKA_CHALLENGE: break;
    default: return fail(std::string("unexpected ") + aka_subtype_name(p.subtype, type_) + " response");
    }
    if (prime() && p.find(AT_RES) == nullptr && p.find(AT_KDF) != nullptr) return on_kdf_request(p);
    if (prime() && !kdfList_.empty() && kdfList_.front() != KDF_CK_IK_PRIME) {
        return fail("peer took key derivation function " + std::to_string(kdfList_.front()) +
                    ", which no peer can know (RFC 9048 section 3.2)");
    }
    // RFC 4187 10.8: AT_RES carries its length in bits; Milenage RES is 64.
    const Attribute* res = p.find(AT_RES);
    if (res == nullptr || res->valueSize < 2 + RES_SIZE || get_be16(res->value) != RES_SIZE * 8 ||
        !equal(res->value + 2, vector_.xres, RES_SIZE)) {
        return fail("AT_RES does not match XRES");
    }
    if (!verify_mac(p, raw, {}, "AKA-Challenge response", why)) return fail(why);
    if (!checkcode_matches(p)) return fail("AT_CHECKCODE does not match the identity messages");
    peerResultInd = p.count(AT_RESULT_IND) > 0;
    if (!issuedReauthId.empty()) {
        reauthContexts_[issuedReauthId] = ReauthContext{mk_, kEncr_, kAut_, kRe_, 0};
    }
    return after_authentication();
}

// What the peer's Authentication-Reject answers, as far as the plan tells.
std::string EapAkaServer::rejection_reason() const {
    const std::string rejected = std::string(" (") + aka_subtype_name(AKA_AUTHENTICATION_REJECT, type_) + "): ";
    if (plan_.bidDown) {
        return "peer rejected the EAP-AKA challenge" + rejected +
               "with EAP-AKA' enabled it refuses an exchange bid down from EAP-AKA' (RFC 9048 section 4)";
    }
    if (prime() && plan_.noSeparationBit) {
        return "peer rejected the network's AUTN" + rejected + "its AMF lacks the separation bit (TS 33.102 Annex H)";
    }
    if (prime() && std::find(kdfList_.begin(), kdfList_.end(), KDF_CK_IK_PRIME) == kdfList_.end()) {
        return "peer rejected the challenge" + rejected + "no key derivation function it knows was offered";
    }
    return "peer rejected the network's AUTN" + rejected + "K, OPc or the Milenage constants differ from the network's";
}

// RFC 9048 section 3.2: the peer asks for another function of the offer
// with a response carrying AT_KDF alone; the network repeats the challenge
// with that function in front of the list it offered. The peer has not
// run AKA on the vector, so the same one serves.
ServerStep EapAkaServer::on_kdf_request(const EapPacket& p) {
    const Attribute* a = p.find(AT_KDF);
    if (kdfNegotiated || p.attributes.size() != 1 || a->valueSize != 2) {
        return fail("key derivation request other than one AT_KDF, once per exchange");
    }
    const uint16_t chosen = get_be16(a->value);
    const std::string which = "peer asked for key derivation function " + std::to_string(chosen);
    if (std::find(kdfList_.begin(), kdfList_.end(), chosen) == kdfList_.end() || chosen == kdfList_.front()) {
        return fail(which + ", which is not an alternative the challenge offered");
    }
    if (chosen != KDF_CK_IK_PRIME) return fail(which + ", which this network cannot run");
    kdfNegotiated = true;
    kdfList_.insert(kdfList_.begin(), chosen);
    return send_challenge_packet();
}

// RFC 9048 section 3.2: a Synchronization-Failure carries the AT_KDF
// attributes of the challenge it answers, in order.
bool EapAkaServer::kdf_list_echoed(const EapPacket& p) const {
    std::vector<uint16_t> echoed;
    for (const Attribute& a : p.attributes) {
        if (a.type == AT_KDF && a.valueSize == 2) echoed.push_back(get_be16(a.value));
    }
    return echoed == kdfList_;
}

ServerStep EapAkaServer::after_authentication() {
    if (plan_.silentAfterChallenge) {
        outcome_ = ServerOutcome::Silent;
        state_ = State::Done;
        return ServerStep{{}, false};
    }
    if (plan_.failureNotification) return send_notification(plan_.failureCode);
    if (plan_.resultIndication && peerResultInd) return send_notification(NOTIFICATION_SUCCESS);
    return succeed();
}

ServerStep EapAkaServer::send_notification(uint16_t code) {
    // RFC 4187 6.1: codes with the P bit clear follow a successful
    // authentication and are protected with AT_MAC.
    notificationCode_ = code;
    notificationWithMac_ = (code & NOTIFICATION_PHASE_BIT) == 0;
    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_NOTIFICATION, type_);
    b.add_with_u16(AT_NOTIFICATION, code, nullptr, 0);
    size_t macOffset = notificationWithMac_ ? b.add_zero_mac() : 0;
    Bytes packet = b.finish();
    if (notificationWithMac_) seal(packet, macOffset);
    state_ = State::Notification;
    return send_request(packet);
}

ServerStep EapAkaServer::on_notification(const EapPacket& p, const Bytes& raw) {
    if (p.subtype != AKA_NOTIFICATION) return fail("peer did not answer the AKA-Notification");
    std::string why;
    if (notificationWithMac_ && !verify_mac(p, raw, {}, "AKA-Notification response", why)) {
        return fail(why);
    }
    if (notificationCode_ == NOTIFICATION_SUCCESS) return succeed();
    return fail("network refused service with notification " + std::to_string(notificationCode_) +
                " (" + aka_notification_name(notificationCode_) + ")");
}

ServerStep EapAkaServer::send_reauthentication() {
    mk_ = context_.mk;
    kEncr_ = context_.kEncr;
    kAut_ = context_.kAut;
    kRe_ = context_.kRe;
    haveKeys_ = true;
    // RFC 4187 5.4: the counter only grows, for the subscriber or, under
    // counterPerFullAuth, since the full authentication; an old one is sent
    // only to exercise the peer's AT_COUNTER_TOO_SMALL answer.
    uint16_t& last = rules_.counterPerFullAuth ? context_.counter : counter_;
    sentCounter_ = plan_.reuseReauthCounter && last > 0 ? last : ++last;
    random_.fill(nonceS_.data(), nonceS_.size());

    Bytes plain;
    Bytes counter = with_u16(sentCounter_, nullptr, 0);
    append_attribute(plain, AT_COUNTER, counter.data(), counter.size());
    Bytes nonce = with_u16(0, nonceS_.data(), nonceS_.size());
    append_attribute(plain, AT_NONCE_S, nonce.data(), nonce.size());
    if (plan_.issueReauthId && rules_.reauthIdInReauth) append_reauth_id(plain);

    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_REAUTHENTICATION, type_);
    add_encrypted(b, plain);
    add_checkcode(b, false);
    if (plan_.resultIndication) b.add_reserved(AT_RESULT_IND, nullptr, 0);
    size_t macOffset = b.add_zero_mac();
    Bytes packet = b.finish();
    seal(packet, macOffset);
    state_ = State::Reauth;
    return send_request(packet);
}

ServerStep EapAkaServer::on_reauth(const EapPacket& p, const Bytes& raw) {
    if (p.subtype != AKA_REAUTHENTICATION) {
        return fail(std::string("unexpected ") + aka_subtype_name(p.subtype, type_) + " response");
    }
    std::string why;
    // RFC 4187 10.15: the peer's MAC also covers NONCE_S.
    if (!verify_mac(p, raw, nonceS_, "AKA-Reauthentication response", why)) return fail(why);
    if (!checkcode_matches(p)) return fail("AT_CHECKCODE of the AKA-Reauthentication response does not match");
    const uint8_t* iv = reserved_value(p.find(AT_IV), AES_BLOCK);
    const Attribute* encr = p.find(AT_ENCR_DATA);
    if (iv == nullptr || encr == nullptr || encr->valueSize < 2 ||
        (encr->valueSize - 2) % AES_BLOCK != 0) {
        return fail("AKA-Reauthentication response without valid AT_IV/AT_ENCR_DATA");
    }
    Bytes plain = refcrypto::aes_cbc_decrypt(kEncr_, Bytes(iv, iv + AES_BLOCK),
                                             Bytes(encr->value + 2, encr->value + encr->valueSize));
    std::vector<Attribute> inner;
    if (!split_attributes(plain.data(), plain.size(), 0, inner)) {
        return fail("encrypted attributes of the response are malformed");
    }
    bool counterSeen = false;
    bool tooSmall = false;
    for (const Attribute& a : inner) {
        if (a.type == AT_COUNTER && a.valueSize == 2) {
            counterSeen = true;
            if (get_be16(a.value) != sentCounter_) return fail("encrypted AT_COUNTER differs from the one sent");
        } else if (a.type == AT_COUNTER_TOO_SMALL) {
            tooSmall = true;
        } else if (a.type != AT_PADDING) {
            return fail(std::string("unexpected encrypted ") + aka_attribute_name(a.type));
        }
    }
    if (!counterSeen) return fail("encrypted AT_COUNTER missing");
    if (tooSmall) {
        // RFC 4187 5.5: the peer refused the counter; fall back to a full
        // authentication within the same exchange.
        counterTooSmall = true;
        issuedReauthId.clear();
        return send_challenge();
    }
    // RFC 4187 section 7: XKEY' = SHA1(Identity | counter | NONCE_S | MK).
    // RFC 9048 section 3.3: MK' = PRF'(K_re, "EAP-AKA' re-auth" | Identity |
    // counter | NONCE_S), whose first 64 bytes are the MSK.
    const Bytes counter = with_u16(sentCounter_, nullptr, 0);
    if (prime()) {
        const Bytes s = concat({text_bytes(PRIME_REAUTH_LABEL), text_bytes(identity_), counter, nonceS_});
        msk_ = refcrypto::prf_prime(kRe_, s, MSK_SIZE);
    } else {
        msk_ = slice(refcrypto::fips186_prf(refcrypto::sha1(concat({text_bytes(identity_), counter, nonceS_, mk_}))), 0,
                     MSK_SIZE);
    }
    reauthenticated = true;
    reauthCounter = sentCounter_;
    // RFC 4187 5.4: the identity delivered in this exchange carries the
    // same context on; the keys stay those of the full authentication.
    if (!issuedReauthId.empty()) reauthContexts_[issuedReauthId] = context_;
    peerResultInd = p.count(AT_RESULT_IND) > 0;
    return after_authentication();
}

}  // namespace tool
