#include "tools/interop/radius_session.h"

#include <cstring>

#include "tools/eap_wire.h"

namespace {

constexpr int MAX_ROUNDS = 16;          // far above any EAP-AKA exchange
constexpr uint8_t NAS_IDENTIFIER_FIRST = 1;
constexpr uint32_t FRAMED_MTU = 1400;   // what an 802.11 NAS typically announces
constexpr uint32_t NAS_PORT_TYPE_WIRELESS = 19;  // RFC 2865 5.41: Wireless - IEEE 802.11
constexpr size_t MSK_SIZE = 64;
constexpr size_t MPPE_KEY_SIZE = 32;

ByteString u32_value(uint32_t v) {
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

ByteString text_value(const std::string& s) { return ByteString(s.begin(), s.end()); }

// An EAP packet from outside is handed to the library only when its Length
// field fits what arrived: at least the 4-byte header, 5 for a Request
// (RFC 3748 section 4), and no more than the bytes received.
bool acceptable_eap(const ByteString& eap) {
    if (eap.size() < 4) return false;
    size_t declared = tool::get_be16(eap.data() + 2);
    return declared >= 4 && declared <= eap.size() && (eap[0] != tool::EAP_REQUEST || declared >= 5);
}

uint8_t aka_subtype_of(const ByteString& eap) {
    return eap.size() > 5 && tool::is_aka_type(eap[4]) ? eap[5] : 0;
}

class Exchange {
public:
    Exchange(RadiusClient& client, tool::PeerHost& peer, const std::string& secret,
             const RadiusNasConfig& config, tool::Report& report)
        : client_(client), peer_(peer), secret_(secret), config_(config), report_(report) {}

    RadiusAuthResult run();

private:
    // Hands a packet from the server to the peer; false when no response came.
    bool to_peer(const ByteString& eap, ByteString& response);
    void finish_accept(const RadiusPacket& accept, const uint8_t requestAuthenticator[16]);

    RadiusClient& client_;
    tool::PeerHost& peer_;
    const std::string& secret_;
    const RadiusNasConfig& config_;
    tool::Report& report_;
    RadiusAuthResult result_;
};

bool Exchange::to_peer(const ByteString& eap, ByteString& response) {
    report_.packet(eap, false, nullptr);
    if (!acceptable_eap(eap)) {
        report_.note("NAS", "EAP packet with an inconsistent Length not handed to the peer");
        result_.eapResult = EAPAKA_RESULT_DROPPED;
        return false;
    }
    uint8_t subtype = aka_subtype_of(eap);
    if (subtype != 0) result_.requestSubtypes.push_back(subtype);
    result_.facts.saw_request(eap);
    result_.eapResult = peer_.deliver(eap, response);
    for (const tool::HostEvent& e : peer_.events)
        if (e.type == EAPAKA_EVENT_STATUS) result_.facts.statusCodes.push_back(e.value);
    peer_.events.clear();
    report_.layer_result(result_.eapResult);
    if (result_.eapResult == EAPAKA_RESULT_AUTH_RESPONSE) result_.serverAuthenticated = true;
    if (result_.eapResult != EAPAKA_RESULT_RESPONSE && result_.eapResult != EAPAKA_RESULT_AUTH_RESPONSE)
        return false;
    report_.packet(response, true, nullptr);
    return true;
}

void Exchange::finish_accept(const RadiusPacket& accept, const uint8_t requestAuthenticator[16]) {
    result_.accepted = true;
    ByteString eap = radius_eap_message(accept);
    if (eap.empty()) {
        result_.failure = "Access-Accept without EAP-Message";
        return;
    }
    ByteString none;
    to_peer(eap, none);
    int r = result_.eapResult;
    if (r != EAPAKA_RESULT_SUCCESS_PSEUDONYM && r != EAPAKA_RESULT_SUCCESS_PERMANENT &&
        r != EAPAKA_RESULT_SUCCESS_ALT_KEYS) {
        result_.failure = "the peer did not take the Access-Accept's EAP packet as success (result " +
                          std::to_string(r) + ")";
        if (r == EAPAKA_RESULT_DROPPED && !result_.serverAuthenticated &&
            (config_.compatibility & EAP_COMPAT_STRICT_SUCCESS) != 0) {
            result_.failure += ": the server never authenticated itself in this exchange (no AKA-Challenge or "
                               "AKA-Reauthentication was accepted), and strict success "
                               "(EAP_COMPAT_STRICT_SUCCESS) takes no EAP-Success without that";
        }
        return;
    }
    result_.facts.unauthenticatedSuccess = !result_.serverAuthenticated;
    uint8_t msk[MSK_SIZE];
    peer_.msk(msk);
    result_.msk = tool::to_hex(msk, sizeof msk);
    ByteString recvKey, sendKey;
    if (!radius_mppe_keys(accept, secret_, requestAuthenticator, recvKey, sendKey)) {
        result_.failure = "Access-Accept without usable MS-MPPE keys";
        return;
    }
    result_.keysMatch = recvKey.size() == MPPE_KEY_SIZE && sendKey.size() == MPPE_KEY_SIZE &&
                        std::memcmp(msk, recvKey.data(), MPPE_KEY_SIZE) == 0 &&
                        std::memcmp(msk + MPPE_KEY_SIZE, sendKey.data(), MPPE_KEY_SIZE) == 0;
    report_.note("server", "MPPE keys " + tool::to_hex(recvKey) + tool::to_hex(sendKey));
    report_.note("NAS", result_.keysMatch ? "MSK = MS-MPPE-Recv-Key || MS-MPPE-Send-Key: MATCH"
                                          : "MSK differs from the MS-MPPE keys: MISMATCH");
    if (!result_.keysMatch) result_.failure = "MSK MISMATCH";
}

RadiusAuthResult Exchange::run() {
    ByteString response;
    if (!to_peer(tool::eap_identity_request(NAS_IDENTIFIER_FIRST), response) ||
        response.size() < 5) {
        result_.failure = "the peer gave no identity";
        return result_;
    }
    std::string userName(response.begin() + 5, response.end());
    result_.facts.identitySent = userName;
    ByteString state;
    for (int round = 0; round < MAX_ROUNDS; ++round) {
        RadiusPacket request;
        request.code = RADIUS_ACCESS_REQUEST;
        radius_add_attribute(request, RADIUS_ATTR_USER_NAME, text_value(userName));
        radius_add_attribute(request, RADIUS_ATTR_NAS_IDENTIFIER, text_value(config_.nasIdentifier));
        radius_add_attribute(request, RADIUS_ATTR_CALLING_STATION_ID, text_value(config_.callingStationId));
        if (!config_.nasIp.empty()) {
            radius_add_attribute(request, config_.nasIp.size() == 4 ? RADIUS_ATTR_NAS_IP_ADDRESS
                                                                    : RADIUS_ATTR_NAS_IPV6_ADDRESS,
                                 config_.nasIp);
        }
        radius_add_attribute(request, RADIUS_ATTR_FRAMED_MTU, u32_value(FRAMED_MTU));
        radius_add_attribute(request, RADIUS_ATTR_NAS_PORT_TYPE, u32_value(NAS_PORT_TYPE_WIRELESS));
        if (!state.empty()) radius_add_attribute(request, RADIUS_ATTR_STATE, state);
        radius_add_eap_message(request, response.data(), response.size());

        RadiusPacket reply;
        std::string error;
        if (!client_.exchange(request, reply, error)) {
            result_.failure = error;
            if (client_.no_answer() && client_.dropped_replies() == 0) result_.facts.silentServer = client_.server_name();
            if (client_.dropped(RadiusReplyFault::BadResponseAuthenticator) > 0) {
                result_.facts.unverifiedServer = client_.server_name();
            }
            return result_;
        }
        const RadiusAttribute* newState = reply.find(RADIUS_ATTR_STATE);
        state = newState != nullptr ? newState->value : ByteString();
        ByteString eap = radius_eap_message(reply);
        if (reply.code == RADIUS_ACCESS_ACCEPT) {
            report_.note("RADIUS", "Access-Accept");
            finish_accept(reply, request.authenticator);
            return result_;
        }
        if (reply.code == RADIUS_ACCESS_REJECT) {
            report_.note("RADIUS", "Access-Reject");
            ByteString none;
            if (!eap.empty()) to_peer(eap, none);
            result_.failure = "Access-Reject";
            return result_;
        }
        if (reply.code != RADIUS_ACCESS_CHALLENGE) {
            result_.failure = "unexpected RADIUS reply code " + std::to_string(reply.code);
            return result_;
        }
        if (eap.empty()) {
            // An Access-Challenge carries the server's next EAP-Request in
            // EAP-Message (RFC 3579); without one the NAS has nothing to
            // hand on.
            result_.failure = std::string("Access-Challenge ") +
                              (reply.find(RADIUS_ATTR_EAP_MESSAGE) == nullptr ? "without EAP-Message"
                                                                              : "with an empty EAP-Message") +
                              ": the server sent no EAP packet for the peer";
            return result_;
        }
        response.clear();
        if (!to_peer(eap, response)) {
            result_.failure = "the peer sent no response (EAP_layer result " +
                              std::to_string(result_.eapResult) + ")";
            return result_;
        }
    }
    result_.failure = "no outcome after " + std::to_string(MAX_ROUNDS) + " round trips";
    return result_;
}

}  // namespace

RadiusAuthResult radius_authenticate(RadiusClient& client, tool::PeerHost& peer, const std::string& secret,
                                     const RadiusNasConfig& config, tool::Report& report) {
    peer.start(config.realm, config.permanentIdLength);
    Exchange exchange(client, peer, secret, config, report);
    return exchange.run();
}
