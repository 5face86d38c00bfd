// EAP-AKA server (RFC 4187) with its authenticator, for one subscriber of
// the simulated operator network; or, with its method set so, an EAP-AKA'
// server (RFC 9048). It asks for the identity, runs identity rounds, full
// authentication with AKA-Challenge, resynchronisation, fast
// re-authentication and result notifications, and checks every response
// the peer sends: AT_RES, AT_MAC, AT_CHECKCODE, the MAC-S of AUTS and the
// encrypted counter; in EAP-AKA' also the key derivation negotiation and
// the AT_KDF list the peer echoes. What it does in one conversation is set
// by a plan.
#ifndef EAPAKA_TOOLS_SIMNET_SERVER_H
#define EAPAKA_TOOLS_SIMNET_SERVER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/eap_wire.h"
#include "tools/simnet/hss.h"

namespace tool {

// Where the network follows RFC 4187 (and 3GPP TS 33.102) to the letter,
// as an operator's server does, rather than what this library does by
// default. The default profile sets none of these and needs no
// compatibility setting on the peer; the rfc4187 profile sets them all and
// needs a peer with EAP_COMPAT_RFC4187.
struct NetworkRules {
    bool bidding = false;             // AT_BIDDING (RFC 9048 section 4) in every AKA-Challenge
    bool checkcodeAlways = false;     // AT_CHECKCODE in every challenge and re-authentication,
                                      // empty without identity rounds (RFC 4187 section 10.13)
    bool counterPerFullAuth = false;  // AT_COUNTER from 1 after every full authentication
                                      // (RFC 4187 section 5.4), not per subscriber
    bool opaquePseudonyms = false;    // pseudonyms that do not start with "G" (RFC 4187 4.1.1.7)
    bool reauthIdInReauth = false;    // a new AT_NEXT_REAUTH_ID in every fast re-authentication,
                                      // on the same keys (RFC 4187 sections 5.4 and 7)
    bool macSWithDummyAmf = false;    // MAC-S of AUTS with the AMF 0000 only (TS 33.102 6.3.3)
};

enum class NetworkProfile { Default, Rfc4187 };

NetworkRules network_rules(NetworkProfile profile);
const char* network_profile_name(NetworkProfile profile);
// "default" or "rfc4187"; false for anything else.
bool network_profile_from_name(const std::string& name, NetworkProfile& profile);
// The rules in words, for the report.
std::string network_rules_text(const NetworkRules& rules);

// The method the network runs: EAP-AKA, or EAP-AKA' with the keys bound to
// the access network's name (RFC 9048 section 3.1; "WLAN" for Wi-Fi
// access, as 3GPP TS 24.302 names it).
struct NetworkMethod {
    bool prime = false;
    std::string networkName = "WLAN";
};

constexpr uint16_t KDF_CK_IK_PRIME = 1;   // RFC 9048 section 3.2: the one defined function

struct ServerPlan {
    bool identityRounds = false;      // AT_ANY_ID_REQ, then AT_PERMANENT_ID_REQ
    bool resultIndication = false;    // AT_RESULT_IND and a success notification
    bool issuePseudonym = false;      // AT_NEXT_PSEUDONYM in the challenge
    bool issueReauthId = false;       // AT_NEXT_REAUTH_ID in the challenge (and, when the
                                      // rules say so, in every re-authentication)
    bool alternateKeySet = false;     // AMF 0x0003
    bool noSeparationBit = false;     // AMF 0x0000 on the main key set (TS 33.102 Annex H)
    bool corruptAutn = false;         // MAC-A of AUTN damaged
    bool corruptMac = false;          // AT_MAC of the challenge damaged
    bool replaySqn = false;           // the first vector repeats the last SQN
    bool reuseReauthCounter = false;  // fast re-authentication with an old counter
    bool forgetReauthIds = false;     // drop every fast re-authentication identity first
    bool silentAfterChallenge = false;
    bool failureNotification = false;  // refuse service after a valid response
    uint16_t failureCode = 1031;
    // EAP-AKA' only: the AT_KDF values the challenge offers, most preferred
    // first (RFC 9048 section 3.2). This network derives keys with
    // KDF_CK_IK_PRIME only; anything else stands for a function it would
    // prefer, for the peer to negotiate away.
    std::vector<uint16_t> kdfOffer = {KDF_CK_IK_PRIME};
    // Under an EAP-AKA' method: run this exchange in EAP-AKA with the D bit
    // of AT_BIDDING set, as after a bidding-down attack (RFC 9048 section 4).
    bool bidDown = false;
};

enum class ServerOutcome { Pending, Success, Failure, Silent };

// What the network sends next. An empty packet means it stays silent.
struct ServerStep {
    Bytes packet;
    bool final = false;   // EAP-Success or EAP-Failure: the conversation ends
};

constexpr unsigned MAX_SYNC_FAILURES = 3;   // per conversation, then give up
constexpr size_t PSEUDONYM_LENGTH = 23;     // the peer keeps 23 bytes
constexpr size_t OPAQUE_PSEUDONYM_LENGTH = 17;  // shorter: the peer stores it zero-filled

class EapAkaServer {
public:
    EapAkaServer(Hss& hss, std::string realm, NetRandom& random, const NetworkRules& rules = {},
                 NetworkMethod method = {});

    ServerStep start(const ServerPlan& plan);   // EAP-Request/Identity
    ServerStep handle(const Bytes& response);

    ServerOutcome outcome() const { return outcome_; }
    const std::string& reason() const { return reason_; }
    const uint8_t* msk() const { return msk_.data(); }
    // K_encr of the current exchange for the decoder, null before one exists.
    const uint8_t* k_encr() const { return haveKeys_ ? kEncr_.data() : nullptr; }
    const AuthVector& vector() const { return vector_; }
    const std::string& peer_identity() const { return identity_; }
    const NetworkRules& rules() const { return rules_; }
    const NetworkMethod& method() const { return method_; }
    // EAP Type of the exchange under way: 23, or 50 under an EAP-AKA' method.
    uint8_t exchange_type() const { return type_; }

    // What happened in the conversation, for the scenarios' checks.
    unsigned syncFailures = 0;
    bool reauthenticated = false;
    uint16_t reauthCounter = 0;       // AT_COUNTER of the last fast re-authentication
    bool counterTooSmall = false;
    bool peerResultInd = false;
    uint8_t peerRefusal = 0;  // subtype of a Client-Error/Reject the peer sent
    bool kdfNegotiated = false;  // the peer asked for KDF_CK_IK_PRIME and got it
    std::string issuedPseudonym;
    std::string issuedReauthId;

private:
    enum class State { Identity, AkaIdentity, Challenge, Reauth, Notification, Done };
    // What a fast re-authentication identity stands for: the keys of the
    // full authentication (RFC 4187 section 7: K_encr, K_aut and the MK
    // that XKEY' comes from; in EAP-AKA' K_re instead of MK, RFC 9048
    // section 3.3) and, under counterPerFullAuth, its counter.
    struct ReauthContext {
        Bytes mk, kEncr, kAut, kRe;
        uint16_t counter = 0;
    };

    uint8_t next_identifier();
    ServerStep fail(const std::string& reason);
    ServerStep succeed();
    ServerStep on_identity(const EapPacket& p, const Bytes& raw);
    ServerStep on_aka_identity(const EapPacket& p, const Bytes& raw);
    ServerStep on_challenge(const EapPacket& p, const Bytes& raw);
    ServerStep on_reauth(const EapPacket& p, const Bytes& raw);
    ServerStep on_notification(const EapPacket& p, const Bytes& raw);
    ServerStep after_authentication();
    ServerStep choose_authentication(const std::string& identity);
    ServerStep send_identity_request(uint8_t requestAttribute);
    ServerStep send_challenge();
    ServerStep send_challenge_packet();
    ServerStep on_kdf_request(const EapPacket& p);
    bool kdf_list_echoed(const EapPacket& p) const;
    std::string rejection_reason() const;
    bool prime() const { return type_ == EAP_TYPE_AKA_PRIME; }
    Bytes at_mac(const Bytes& data) const;
    Bytes identity_digest() const;
    ServerStep send_reauthentication();
    ServerStep send_notification(uint16_t code);
    ServerStep send_request(const Bytes& packet);
    void derive_full_keys();
    void seal(Bytes& packet, size_t macOffset) const;
    Bytes encrypted_block(const Bytes& plain);
    void add_encrypted(AkaPacketBuilder& b, Bytes plain);
    void append_reauth_id(Bytes& plain);
    void add_checkcode(AkaPacketBuilder& b, bool inChallenge);
    bool checkcode_matches(const EapPacket& p) const;
    bool verify_mac(const EapPacket& p, const Bytes& raw, const Bytes& extra,
                    const std::string& what, std::string& why) const;

    Hss& hss_;
    std::string realm_;
    NetRandom& random_;
    NetworkRules rules_;
    NetworkMethod method_;
    ServerPlan plan_;
    uint8_t type_ = EAP_TYPE_AKA;     // of this exchange
    State state_ = State::Done;
    ServerOutcome outcome_ = ServerOutcome::Pending;
    std::string reason_;
    uint8_t identifier_ = 0;
    Bytes lastRequest_;
    std::string identity_;
    unsigned identityRound_ = 0;
    Bytes identityRecord_;    // AKA-Identity requests and responses, for AT_CHECKCODE
    AuthVector vector_{};
    bool haveKeys_ = false;
    Bytes mk_;
    Bytes kEncr_;
    Bytes kAut_;
    Bytes kRe_;
    Bytes msk_ = Bytes(64);
    std::vector<uint16_t> kdfList_;   // the AT_KDF values of the last challenge
    Bytes nonceS_ = Bytes(16);
    uint16_t counter_ = 0;            // last counter sent, unless counterPerFullAuth
    uint16_t sentCounter_ = 0;
    bool checkcodeSent_ = false;
    ReauthContext context_;           // of the fast re-authentication under way
    std::map<std::string, ReauthContext> reauthContexts_;
    bool notificationWithMac_ = false;
    uint16_t notificationCode_ = 0;
};

}  // namespace tool

#endif
