#include "tools/scenarios.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "tools/eap_wire.h"
#include "tools/hints.h"

namespace tool {

namespace {

bool has_event(const PeerHost& host, unsigned type, uintptr_t value) {
    return std::any_of(host.events.begin(), host.events.end(),
                       [&](const HostEvent& e) { return e.type == type && e.value == value; });
}

bool has_request(const PeerHost& host, unsigned long request) {
    return std::find(host.requests.begin(), host.requests.end(), request) != host.requests.end();
}

bool sent_subtype(const Conversation& c, uint8_t subtype) {
    return std::find(c.peerSubtypes.begin(), c.peerSubtypes.end(), subtype) != c.peerSubtypes.end();
}

ItemResult verdict(bool passed, const std::string& reason) {
    ItemResult r;
    r.passed = passed;
    r.reason = reason;
    return r;
}
ItemResult pass(const std::string& what) { return verdict(true, what); }
ItemResult failure(const std::string& why) { return verdict(false, why); }

bool prime(const ScenarioEnv& env) { return env.server.method().prime; }

void conversation(ScenarioEnv& env, unsigned index, const std::string& description) {
    env.report.conversation(index, in_method(description, prime(env)));
}

bool peer_succeeded(int result) {
    return result == EAPAKA_RESULT_SUCCESS_PSEUDONYM || result == EAPAKA_RESULT_SUCCESS_PERMANENT ||
           result == EAPAKA_RESULT_SUCCESS_ALT_KEYS;
}

std::string peer_outcome(const Conversation& c) {
    return std::to_string(c.result) + " (" + layer_result_name(c.result) + ")";
}

// The common end of a conversation that should authenticate.
bool authenticated(ScenarioEnv& env, const Conversation& c, std::string& why) {
    if (!c.peerSuccess) {
        why = "peer ended with " + peer_outcome(c) +
              (env.server.reason().empty() ? "" : "; network: " + env.server.reason());
        return false;
    }
    if (env.server.outcome() != ServerOutcome::Success) {
        why = "network did not accept the peer: " + env.server.reason();
        return false;
    }
    if (!c.mskMatches) {
        why = "peer's MSK differs from the network's";
        return false;
    }
    if (env.host.storeFailed) {
        why = "key store could not be saved: " + env.store.last_error();
        return false;
    }
    return true;
}

// Runs conversation `index` with `plan`; true when it authenticated,
// else `why` says what went wrong.
bool authenticates(ScenarioEnv& env, unsigned index, const std::string& description,
                   const ServerPlan& plan, Conversation& c, std::string& why) {
    conversation(env, index, description);
    c = converse(env, plan);
    return authenticated(env, c, why);
}

// The subscriber profile as the key store last saved it: read back from its
// file, so the check covers what a later run would load.
bool saved_profile(ScenarioEnv& env, SubscriberProfile& profile, std::string& why) {
    profile = env.store.profile();
    return env.store.path().empty() ||
           profile_load(env.store.path(), ProfileKind::Peer, profile, why);
}

// A plan with one of its rules switched on.
ServerPlan plan_with(bool ServerPlan::*rule) {
    ServerPlan plan;
    plan.*rule = true;
    return plan;
}

ItemResult full(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "full authentication", ServerPlan{}, c, why)) return failure(why);
    return pass("authenticated as \"" + env.server.peer_identity() + "\"; " + peer_outcome(c) +
                ", MSK agreed");
}

ItemResult identity_rounds(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "AT_ANY_ID_REQ, then AT_PERMANENT_ID_REQ, then AKA-Challenge with AT_CHECKCODE",
                       plan_with(&ServerPlan::identityRounds), c, why)) {
        return failure(why);
    }
    if (env.server.peer_identity().rfind(env.store.profile().permanentId + "@", 0) != 0) {
        return failure("AT_PERMANENT_ID_REQ was answered with \"" + env.server.peer_identity() + "\"");
    }
    return pass("two identity rounds, AT_CHECKCODE verified both ways, MSK agreed");
}

ItemResult pseudonym(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "full authentication delivering AT_NEXT_PSEUDONYM",
                       plan_with(&ServerPlan::issuePseudonym), c, why)) {
        return failure(why);
    }
    std::string issued = env.server.issuedPseudonym;
    if (!has_request(env.host, EAPAKA_AUTHKEY_STORE_PSEUDONYM)) return failure("no pseudonym store request");
    SubscriberProfile onDisk;
    if (!saved_profile(env, onDisk, why)) return failure(why);
    if (onDisk.pseudonym_text() != issued) {
        return failure("key store holds \"" + onDisk.pseudonym_text() + "\", network issued \"" + issued + "\"");
    }
    if (!authenticates(env, 2, "identify with the stored pseudonym", ServerPlan{}, c, why)) return failure(why);
    if (c.result != EAPAKA_RESULT_SUCCESS_PSEUDONYM) {
        return failure("second conversation ended with " + peer_outcome(c) + ", not the pseudonym result");
    }
    return pass("pseudonym " + issued + " stored in the key store and used for the next authentication");
}

// Conversation `index` must be a fast re-authentication with `counter`.
bool reauthenticates(ScenarioEnv& env, unsigned index, const std::string& description, const ServerPlan& plan,
                     uint16_t counter, std::string& why) {
    Conversation c;
    if (!authenticates(env, index, description, plan, c, why)) return false;
    if (!env.server.reauthenticated) {
        why = "conversation " + std::to_string(index) + " was not a fast re-authentication";
        return false;
    }
    if (env.server.reauthCounter != counter) {
        why = "conversation " + std::to_string(index) + " carried counter " +
              std::to_string(env.server.reauthCounter) + ", expected " + std::to_string(counter);
        return false;
    }
    return true;
}

ItemResult reauth(ScenarioEnv& env) {
    ServerPlan plan;
    plan.issueReauthId = true;
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "full authentication delivering AT_NEXT_REAUTH_ID", plan, c, why)) return failure(why);
    if (!env.server.rules().reauthIdInReauth) {
        if (!authenticates(env, 2, "fast re-authentication", ServerPlan{}, c, why)) return failure(why);
        if (!env.server.reauthenticated) return failure("the second conversation was not a fast re-authentication");
        return pass("fast re-authentication with counter and NONCE_S; new MSK agreed");
    }
    // RFC 4187 5.4 and 7: each re-authentication hands the next identity,
    // the counter grows, and every XKEY' comes from the full
    // authentication's MK; a new full authentication starts the counter
    // at 1 again.
    constexpr uint16_t IN_A_ROW = 3;
    for (uint16_t n = 1; n <= IN_A_ROW; ++n) {
        if (!reauthenticates(env, 1u + n, "fast re-authentication " + std::to_string(n) +
                                              " in a row, delivering the next AT_NEXT_REAUTH_ID",
                             plan, n, why)) {
            return failure(why);
        }
    }
    ServerPlan forget = plan;
    forget.forgetReauthIds = true;
    if (!authenticates(env, 2u + IN_A_ROW, "the network has dropped its re-authentication identities: "
                       "AT_FULLAUTH_ID_REQ, full authentication delivering a new AT_NEXT_REAUTH_ID", forget, c, why) ||
        !reauthenticates(env, 3u + IN_A_ROW, "fast re-authentication after the new full authentication", plan, 1,
                         why)) {
        return failure(why);
    }
    return pass(std::to_string(IN_A_ROW) + " fast re-authentications in a row (counters 1 to " +
                std::to_string(IN_A_ROW) + ", keys from the full authentication), counter 1 again after a "
                "new full authentication; every MSK agreed");
}

ItemResult counter_too_small(ScenarioEnv& env) {
    ServerPlan issue;
    issue.issueReauthId = true;
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "full authentication delivering AT_NEXT_REAUTH_ID", issue, c, why)) return failure(why);
    if (!authenticates(env, 2, "fast re-authentication (counter accepted)", issue, c, why)) return failure(why);
    // A network that hands identities only in challenges needs another
    // full authentication before the peer holds one again.
    unsigned index = 3;
    if (env.server.issuedReauthId.empty() &&
        !authenticates(env, index++, "full authentication delivering a new AT_NEXT_REAUTH_ID", issue, c, why)) {
        return failure(why);
    }
    ServerPlan stale;
    stale.reuseReauthCounter = true;
    conversation(env, index, "fast re-authentication with the old counter");
    c = converse(env, stale);
    if (!env.server.counterTooSmall) return failure("peer did not answer the old counter with AT_COUNTER_TOO_SMALL");
    if (!authenticated(env, c, why)) return failure(why);
    return pass("old counter refused with AT_COUNTER_TOO_SMALL, full authentication followed");
}

ItemResult resync(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "full authentication", ServerPlan{}, c, why)) return failure(why);
    ServerPlan plan;
    plan.replaySqn = true;
    conversation(env, 2, "the network repeats the last SQN (as if restored from a backup)");
    c = converse(env, plan);
    if (!has_event(env.host, EAPAKA_EVENT_STATUS, EAPAKA_FAIL_INVALID_SQN)) return failure("the repeated SQN was not refused");
    if (env.server.syncFailures != 1 || !sent_subtype(c, AKA_SYNCHRONIZATION_FAILURE)) {
        return failure("no AKA-Synchronization-Failure with AUTS");
    }
    if (!authenticated(env, c, why)) return failure(why);
    const AuthVector& v = env.server.vector();
    uint64_t sqn = sqn_from_bytes(v.sqn);
    unsigned ind = static_cast<unsigned>(sqn & (SQN_IND_COUNT - 1));
    SubscriberProfile onDisk;
    if (!saved_profile(env, onDisk, why)) return failure(why);
    if (onDisk.seqMs[ind] != sqn >> SQN_IND_BITS) {
        return failure("key store seq_ms[" + std::to_string(ind) + "] = " + std::to_string(onDisk.seqMs[ind]) +
                       ", expected " + std::to_string(sqn >> SQN_IND_BITS));
    }
    return pass("SQN refused, AUTS verified by the network, resynchronised; seq_ms[" + std::to_string(ind) +
                "] = " + std::to_string(sqn >> SQN_IND_BITS) + " stored");
}

ItemResult result_ind(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "AKA-Challenge with AT_RESULT_IND, then a success notification",
                       plan_with(&ServerPlan::resultIndication), c, why)) {
        return failure(why);
    }
    if (!env.server.peerResultInd) return failure("peer's response did not carry AT_RESULT_IND");
    if (!has_event(env.host, EAPAKA_EVENT_STATUS, NOTIFICATION_SUCCESS)) return failure("no success notification event");
    return pass("AT_RESULT_IND echoed, success notification acknowledged with AT_MAC");
}

ItemResult alt_keyset(ScenarioEnv& env) {
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "AKA-Challenge with AMF 0x0003 (alternate key set)",
                       plan_with(&ServerPlan::alternateKeySet), c, why)) {
        return failure(why);
    }
    if (c.result != EAPAKA_RESULT_SUCCESS_ALT_KEYS) return failure("peer reported " + peer_outcome(c));
    return pass("alternate K/OPc used; " + peer_outcome(c));
}

ItemResult notify_failure(ScenarioEnv& env) {
    ServerPlan plan;
    plan.failureNotification = true;
    conversation(env, 1, "valid AKA-Challenge, then a failure notification");
    Conversation c = converse(env, plan);
    if (c.result != EAPAKA_RESULT_FAILURE) return failure("peer ended with " + peer_outcome(c));
    if (!has_event(env.host, EAPAKA_EVENT_STATUS, plan.failureCode)) return failure("no notification event for the host");
    return pass("notification " + std::to_string(plan.failureCode) + " reported to the host, EAP-Failure accepted");
}

// A challenge the peer must refuse in conversation `index`: it reports
// `event` to the host, answers with `subtype` and accepts the EAP-Failure
// that follows.
ItemResult refused_challenge(ScenarioEnv& env, unsigned index, const ServerPlan& plan, const char* description,
                             uintptr_t event, uint8_t subtype, const std::string& what) {
    conversation(env, index, description);
    Conversation c = converse(env, plan);
    const std::string answer = aka_subtype_name(subtype, env.server.exchange_type());
    if (!has_event(env.host, EAPAKA_EVENT_STATUS, event)) return failure("peer did not report " + what);
    if (!sent_subtype(c, subtype)) return failure("peer did not send " + answer);
    if (c.result != EAPAKA_RESULT_FAILURE) return failure("peer ended with " + peer_outcome(c));
    return pass(what + " refused with " + answer + ", EAP-Failure accepted");
}

ItemResult bad_autn(ScenarioEnv& env) {
    return refused_challenge(env, 1, plan_with(&ServerPlan::corruptAutn),
                             "AKA-Challenge whose AUTN carries a wrong MAC-A", EAPAKA_FAIL_INVALID_AUTN,
                             AKA_AUTHENTICATION_REJECT, "AUTN");
}

ItemResult bad_mac(ScenarioEnv& env) {
    return refused_challenge(env, 1, plan_with(&ServerPlan::corruptMac), "AKA-Challenge with a wrong AT_MAC",
                             EAPAKA_FAIL_INVALID_MAC, AKA_CLIENT_ERROR, "AT_MAC");
}

// RFC 9048 section 3.2: an offer led by a function the peer does not know
// is answered with AT_KDF alone, naming KDF 1, and the network repeats the
// challenge with KDF 1 in front; an offer without KDF 1 is refused as if
// AUTN were wrong.
ItemResult kdf_negotiation(ScenarioEnv& env) {
    constexpr uint16_t UNKNOWN_KDF = 2;   // RFC 9048 defines no function but 1
    ServerPlan plan;
    plan.kdfOffer = {UNKNOWN_KDF, KDF_CK_IK_PRIME};
    Conversation c;
    std::string why;
    if (!authenticates(env, 1, "AKA-Challenge offering AT_KDF 2, then 1: the peer asks for 1 and the network "
                       "repeats the challenge with AT_KDF 1, 2, 1", plan, c, why)) {
        return failure(why);
    }
    if (!env.server.kdfNegotiated) return failure("the peer did not ask for KDF 1");
    ServerPlan unknown;
    unknown.kdfOffer = {UNKNOWN_KDF};
    ItemResult refused = refused_challenge(env, 2, unknown, "AKA-Challenge offering AT_KDF 2 alone",
                                           EAPAKA_FAIL_INVALID_AUTN, AKA_AUTHENTICATION_REJECT,
                                           "an offer without KDF 1");
    if (!refused.passed) return refused;
    return pass("KDF 1 negotiated in place of the unknown KDF 2, MSK agreed; " + refused.reason);
}

ItemResult amf_separation(ScenarioEnv& env) {
    return refused_challenge(env, 1, plan_with(&ServerPlan::noSeparationBit),
                             "AKA-Challenge whose AUTN carries AMF 0000, without the separation bit",
                             EAPAKA_FAIL_INVALID_AUTN, AKA_AUTHENTICATION_REJECT,
                             "an AUTN without the AMF separation bit");
}

// RFC 9048 section 4: a peer with EAP-AKA' enabled fails an EAP-AKA
// exchange whose server said that it prefers EAP-AKA'.
ItemResult bidding_down(ScenarioEnv& env) {
    return refused_challenge(env, 1, plan_with(&ServerPlan::bidDown),
                             "an EAP-AKA challenge with the D bit of AT_BIDDING set: the network prefers EAP-AKA'",
                             EAPAKA_FAIL_INVALID_AUTN, AKA_AUTHENTICATION_REJECT,
                             "an EAP-AKA exchange bid down from EAP-AKA'");
}

ItemResult timeout(ScenarioEnv& env) {
    ServerPlan plan;
    plan.silentAfterChallenge = true;
    conversation(env, 1, "the network goes silent after the peer's AKA-Challenge response");
    converse(env, plan);
    if (!has_event(env.host, EAPAKA_EVENT_TIMEOUT, EAPAKA_RESULT_FAILURE)) return failure("no time-out event (0)");
    if (!has_event(env.host, EAPAKA_EVENT_STATUS, EAPAKA_FAIL_SERVER_DOWN)) return failure("no server-down event");
    return pass("response timer reported the silent server (events 0 and 2)");
}

}  // namespace

Conversation converse(ScenarioEnv& env, const ServerPlan& plan) {
    Conversation c;
    env.host.start(env.realm, static_cast<int>(env.store.profile().permanentId.size()));
    ServerStep step = env.server.start(plan);
    for (;;) {
        if (step.packet.empty()) {
            env.report.note("network", "stays silent; the host runs the library's response timer");
            env.host.run_timers(RESPONSE_TIMER_WAIT_MS, [&] {
                return has_event(env.host, EAPAKA_EVENT_STATUS, EAPAKA_FAIL_SERVER_DOWN);
            });
            break;
        }
        env.report.packet(step.packet, false, env.server.k_encr());
        Bytes response;
        c.result = env.host.deliver(step.packet, response);
        env.report.layer_result(c.result);
        if (response.empty() || step.final) break;
        if (response.size() > 5 && is_aka_type(response[4])) c.peerSubtypes.push_back(response[5]);
        env.report.packet(response, true, env.server.k_encr());
        step = env.server.handle(response);
        if (!env.server.reason().empty()) env.report.note("network", env.server.reason());
    }
    env.lastResult = c.result;
    for (const HostEvent& e : env.host.events) {
        if (e.type == EAPAKA_EVENT_STATUS) env.statusCodes.push_back(e.value);
    }
    c.peerSuccess = peer_succeeded(c.result);
    if (c.peerSuccess) {
        env.host.msk(c.peerMsk);
        c.mskMatches = std::memcmp(c.peerMsk, env.server.msk(), sizeof c.peerMsk) == 0;
    }
    if (!env.networkPath.empty()) {
        std::string error;
        if (!profile_save(env.networkPath, env.hss.record(), ProfileKind::Network, error)) {
            env.report.note("network", error);
        }
    }
    return c;
}

const std::vector<Scenario>& all_scenarios() {
    static const char EAP_AKA_PRIME_ONLY[] = "EAP-AKA' only (--method aka-prime)";
    static const std::vector<Scenario> scenarios = {
        {"full", "full authentication (EAP-Request/Identity, AKA-Challenge, EAP-Success)", full},
        {"identity-rounds", "AKA-Identity rounds and AT_CHECKCODE", identity_rounds},
        {"pseudonym", "pseudonym delivered in AT_ENCR_DATA, stored, then used", pseudonym},
        {"reauth", "fast re-authentication", reauth},
        {"counter-too-small", "fast re-authentication with a stale counter", counter_too_small},
        {"resync", "SQN resynchronisation with AUTS", resync},
        {"result-ind", "result indication and success notification", result_ind},
        {"alt-keyset", "alternate key set selected by AMF 0x0003", alt_keyset, nullptr,
         "EAP-AKA' takes only vectors with the AMF separation bit, which the alternate key set's AMF 0x0003 "
         "lacks (TS 33.102 Annex H), so EAP-AKA' runs on the main key set"},
        {"notify-failure", "failure notification after authentication", notify_failure},
        {"bad-autn", "network sends an AUTN that does not verify", bad_autn},
        {"bad-mac", "network sends a wrong AT_MAC", bad_mac},
        {"timeout", "network goes silent; the response timer reports it", timeout},
        {"kdf-negotiation", "key derivation function negotiated over AT_KDF", kdf_negotiation, EAP_AKA_PRIME_ONLY},
        {"amf-separation", "network sends an AUTN without the AMF separation bit", amf_separation,
         EAP_AKA_PRIME_ONLY},
        {"bidding-down", "EAP-AKA offered with AT_BIDDING saying the network prefers EAP-AKA'", bidding_down,
         "needs a peer with EAP-AKA' enabled (--method aka-prime)"},
    };
    return scenarios;
}

std::string in_method(const std::string& text, bool prime) {
    if (!prime) return text;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        // After the "AKA" of a message name (AKA-Challenge, ...), never of EAP-AKA.
        if (i >= 2 && text.compare(i - 2, 4, "AKA-") == 0 && (i < 6 || text.compare(i - 6, 4, "EAP-") != 0)) {
            out += '\'';
        }
    }
    return out;
}

const Scenario* find_scenario(const std::string& name) {
    for (const Scenario& s : all_scenarios()) {
        if (name == s.name) return &s;
    }
    return nullptr;
}

ItemResult run_scenario(const Scenario& scenario, ScenarioEnv& env) {
    const std::string description = in_method(scenario.description, prime(env));
    env.report.line("");
    env.report.begin_item("=== scenario " + std::string(scenario.name) + ": " + description);
    if (env.report.mode() == OutputMode::Json) env.report.json().field("description", description);
    env.report.begin_log();
    env.host.storeFailed = false;
    env.statusCodes.clear();
    auto begin = std::chrono::steady_clock::now();
    ItemResult r = scenario.run(env);
    r.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    r.name = scenario.name;
    r.lastResult = env.lastResult;
    if (peer_succeeded(env.lastResult)) {
        uint8_t msk[64];
        env.host.msk(msk);
        r.msk = to_hex(msk, sizeof msk);
    }
    ExchangeFacts facts;
    facts.succeeded = r.passed;
    facts.compatibility = env.compatibility;
    facts.statusCodes = env.statusCodes;
    facts.realm = env.realm;
    facts.identitySent = env.server.peer_identity();
    r.hints = hints_for(facts);
    env.report.end_item(r);
    char time[32];
    std::snprintf(time, sizeof time, "%.1f ms", r.milliseconds);
    env.report.line(std::string(r.passed ? "PASS " : "FAIL ") + r.name + ": " + r.reason + " [" + time + "]");
    env.report.show_hints(r.hints);
    return r;
}

void report_summary(Report& report, const std::vector<ItemResult>& results,
                    const std::vector<const Scenario*>& skipped, bool prime) {
    size_t passed = 0;
    double total = 0;
    for (const ItemResult& r : results) {
        passed += r.passed;
        total += r.milliseconds;
    }
    const char* method = prime ? "EAP-AKA'" : "EAP-AKA";
    if (report.mode() == OutputMode::Json) {
        report.json().end_array().begin_array("not_applicable");
        for (const Scenario* s : skipped) {
            report.json().begin_object().field("name", s->name).field("reason", s->not_applicable(prime)).end_object();
        }
        report.json().end_array().field("passed", passed == results.size())
            .field("count", static_cast<int64_t>(results.size()))
            .field("passed_count", static_cast<int64_t>(passed)).end_object();
        report.print_json();
        return;
    }
    std::string notRun;
    for (const Scenario* s : skipped) notRun += (notRun.empty() ? "" : ", ") + std::string(s->name);
    if (!notRun.empty()) notRun = std::string("; not for ") + method + ": " + notRun;
    if (report.mode() == OutputMode::Quiet) {
        if (results.size() == 1) {
            std::printf("%s %s: %s (%.1f ms)\n", results[0].passed ? "PASS" : "FAIL",
                        results[0].name.c_str(), results[0].reason.c_str(), results[0].milliseconds);
        } else {
            std::string failed;
            for (const ItemResult& r : results) {
                if (!r.passed) failed += (failed.empty() ? "" : ", ") + r.name;
            }
            std::printf("%s %zu/%zu scenarios passed (%.1f s)%s%s%s\n",
                        passed == results.size() ? "PASS" : "FAIL", passed, results.size(),
                        total / 1000, failed.empty() ? "" : "; failed: ", failed.c_str(), notRun.c_str());
        }
        return;
    }
    if (results.size() < 2) return;
    std::printf("\n%-18s %-6s %10s  %s\n", "scenario", "result", "time", "detail");
    for (const ItemResult& r : results) {
        std::printf("%-18s %-6s %7.1f ms  %s\n", r.name.c_str(), r.passed ? "PASS" : "FAIL",
                    r.milliseconds, r.reason.c_str());
    }
    for (const Scenario* s : skipped) {
        std::printf("%-18s %-6s %10s  does not apply to %s: %s\n", s->name, "N/A", "", method,
                    s->not_applicable(prime));
    }
    std::printf("%zu of %zu scenarios passed in %.1f s%s\n", passed, results.size(), total / 1000, notRun.c_str());
}

}  // namespace tool
