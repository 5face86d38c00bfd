#include "tools/simnet/server.h"

#include <openssl/crypto.h>

#include <cstring>

#include "refcrypto/refcrypto.h"

namespace tool {

namespace {

constexpr size_t RES_SIZE = 8;
constexpr size_t KEY_SIZE = 16;   // K_encr, K_aut
constexpr size_t MSK_SIZE = 64;
constexpr size_t CHECKCODE_SIZE = 20;
constexpr size_t AUTS_SIZE = 14;
constexpr size_t REAUTH_ID_RANDOM_DIGITS = 16;
constexpr char DEFAULT_PSEUDONYM_MARK = 'G';  // the only pseudonyms the library takes by default
constexpr char OPAQUE_PSEUDONYM_MARK = 'P';
constexpr char REAUTH_ID_MARK = 'R';
constexpr uint16_t BIDDING_NO_AKA_PRIME = 0x0000;  // RFC 9048 section 4: D bit clear
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

// AT_MAC (RFC 4187 10.15): the first 16 bytes of HMAC-SHA1 under K_aut.
Bytes at_mac(const Bytes& kAut, const Bytes& data) {
    Bytes mac = refcrypto::hmac_sha1(kAut, data);
    mac.resize(MAC_SIZE);
    return mac;
}

Bytes slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

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

EapAkaServer::EapAkaServer(Hss& hss, std::string realm, NetRandom& random, const NetworkRules& rules)
    : hss_(hss), realm_(std::move(realm)), random_(random), rules_(rules) {}

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
    if (p.type == EAP_TYPE_NAK) return fail("peer refused EAP-AKA with a Nak");
    if (state_ == State::Identity) return on_identity(p, response);
    if (p.type != EAP_TYPE_AKA) return fail("peer answered with a non-EAP-AKA response");
    if (p.subtype == AKA_CLIENT_ERROR) {
        peerRefusal = AKA_CLIENT_ERROR;
        const Attribute* code = p.find(AT_CLIENT_ERROR_CODE);
        unsigned value = code != nullptr && code->valueSize >= 2 ? get_be16(code->value) : 0;
        return fail("peer sent AKA-Client-Error (code " + std::to_string(value) + ")");
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
    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_IDENTITY);
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
void EapAkaServer::derive_full_keys() {
    Bytes input(identity_.begin(), identity_.end());
    input.insert(input.end(), vector_.ik, vector_.ik + 16);
    input.insert(input.end(), vector_.ck, vector_.ck + 16);
    mk_ = refcrypto::sha1(input);
    Bytes x = refcrypto::fips186_prf(mk_);
    kEncr_ = slice(x, 0, KEY_SIZE);
    kAut_ = slice(x, KEY_SIZE, KEY_SIZE);
    msk_ = slice(x, 2 * KEY_SIZE, MSK_SIZE);
    haveKeys_ = true;
}

// Fills the zeroed AT_MAC value at macOffset.
void EapAkaServer::seal(Bytes& packet, size_t macOffset) const {
    Bytes mac = at_mac(kAut_, packet);
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

// RFC 4187 10.13: SHA-1 over the AKA-Identity messages of this exchange.
// A challenge carries it after identity rounds; under checkcodeAlways every
// challenge and re-authentication does, empty when there were none.
void EapAkaServer::add_checkcode(AkaPacketBuilder& b, bool inChallenge) {
    checkcodeSent_ = rules_.checkcodeAlways || (inChallenge && !identityRecord_.empty());
    if (!checkcodeSent_) return;
    if (identityRecord_.empty()) {
        b.add_reserved(AT_CHECKCODE, nullptr, 0);
        return;
    }
    Bytes digest = refcrypto::sha1(identityRecord_);
    b.add_reserved(AT_CHECKCODE, digest.data(), digest.size());
}

// The peer's AT_CHECKCODE answers the one sent: the same digest, or empty.
bool EapAkaServer::checkcode_matches(const EapPacket& p) const {
    if (!checkcodeSent_) return true;
    const Attribute* a = p.find(AT_CHECKCODE);
    if (identityRecord_.empty()) return a != nullptr && a->valueSize == CHECKCODE_EMPTY_VALUE;
    Bytes digest = refcrypto::sha1(identityRecord_);
    const uint8_t* checkcode = reserved_value(a, CHECKCODE_SIZE);
    return checkcode != nullptr && equal(checkcode, digest.data(), CHECKCODE_SIZE);
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
    vector_ = hss_.generate(plan_.alternateKeySet);
    derive_full_keys();

    uint8_t autn[16];
    std::memcpy(autn, vector_.autn, sizeof autn);
    if (plan_.corruptAutn) autn[15] ^= 0x01;

    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_CHALLENGE);
    b.add_reserved(AT_RAND, vector_.rand, 16);
    b.add_reserved(AT_AUTN, autn, 16);
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
    if (rules_.bidding) b.add_with_u16(AT_BIDDING, BIDDING_NO_AKA_PRIME, nullptr, 0);
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
    if (!equal(at_mac(kAut_, input).data(), raw.data() + a->offset + 4, MAC_SIZE)) {
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
        if (!hss_.resynchronise(vector_, a->value, rules_.macSWithDummyAmf)) {
            return fail(rules_.macSWithDummyAmf ? "AUTS: MAC-S does not verify with the dummy AMF 0000"
                                                : "AUTS: MAC-S does not verify");
        }
        return send_challenge();
    }
    case AKA_AUTHENTICATION_REJECT:
        peerRefusal = AKA_AUTHENTICATION_REJECT;
        return fail("peer rejected the network's AUTN (AKA-Authentication-Reject): "
                    "K, OPc or the Milenage constants differ from the network's");
    case AKA_CHALLENGE: break;
    default: return fail(std::string("unexpected ") + aka_subtype_name(p.subtype) + " response");
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
        reauthContexts_[issuedReauthId] = ReauthContext{mk_, kEncr_, kAut_, 0};
    }
    return after_authentication();
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
    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_NOTIFICATION);
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

    AkaPacketBuilder b(EAP_REQUEST, next_identifier(), AKA_REAUTHENTICATION);
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
        return fail(std::string("unexpected ") + aka_subtype_name(p.subtype) + " response");
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
    Bytes input(identity_.begin(), identity_.end());
    input.push_back(static_cast<uint8_t>(sentCounter_ >> 8));
    input.push_back(static_cast<uint8_t>(sentCounter_));
    input.insert(input.end(), nonceS_.begin(), nonceS_.end());
    input.insert(input.end(), mk_.begin(), mk_.end());
    msk_ = slice(refcrypto::fips186_prf(refcrypto::sha1(input)), 0, MSK_SIZE);
    reauthenticated = true;
    reauthCounter = sentCounter_;
    // RFC 4187 5.4: the identity delivered in this exchange carries the
    // same context on; the keys stay those of the full authentication.
    if (!issuedReauthId.empty()) reauthContexts_[issuedReauthId] = context_;
    peerResultInd = p.count(AT_RESULT_IND) > 0;
    return after_authentication();
}

}  // namespace tool
