// The scenarios the tool runs between the peer library and the simulated
// network. Each runs one or more conversations and checks what both ends
// saw: the EAP_layer results, the host events, the key store and the MSK.
#ifndef EAPAKA_TOOLS_SCENARIOS_H
#define EAPAKA_TOOLS_SCENARIOS_H

#include <string>
#include <vector>

#include "tools/host.h"
#include "tools/report.h"
#include "tools/simnet/server.h"

namespace tool {

// Time the host waits for the library's 10-second response timer.
constexpr int RESPONSE_TIMER_WAIT_MS = 15000;

struct ScenarioEnv {
    PeerHost& host;
    ProfileKeyStore& store;
    Hss& hss;
    EapAkaServer& server;
    Report& report;
    std::string realm;
    std::string networkPath;   // the network's record; empty: kept in memory
    unsigned compatibility = 0;  // what EAP_SetCompatibility was given
    int lastResult = 0;        // last EAP_layer result of the last conversation
    std::vector<uintptr_t> statusCodes;  // host events 2 of the scenario so far
};

// One conversation's outcome as the two ends saw it.
struct Conversation {
    int result = 0;                 // last EAP_layer result
    bool peerSuccess = false;       // 3, 13 or 23
    uint8_t peerMsk[64] = {};
    std::vector<uint8_t> peerSubtypes;  // EAP-AKA responses the peer sent
    bool mskMatches = false;        // peer's MSK equals the network's
};

Conversation converse(ScenarioEnv& env, const ServerPlan& plan);

struct Scenario {
    const char* name;
    const char* description;
    ItemResult (*run)(ScenarioEnv& env);
    // Why the scenario cannot run in EAP-AKA or in EAP-AKA'; nullptr where it can.
    const char* notInAka = nullptr;
    const char* notInAkaPrime = nullptr;

    // Why it cannot run in the method (EAP-AKA' when `prime`); nullptr if it can.
    const char* not_applicable(bool prime) const { return prime ? notInAkaPrime : notInAka; }
};

const std::vector<Scenario>& all_scenarios();
const Scenario* find_scenario(const std::string& name);
// "AKA-Challenge" and the other message names of `text` as EAP-AKA' names
// them ("AKA'-Challenge") when `prime` holds.
std::string in_method(const std::string& text, bool prime);
// Runs one scenario with timing and reporting.
ItemResult run_scenario(const Scenario& scenario, ScenarioEnv& env);
// The closing output: the pass/fail table (several scenarios, readable),
// the quiet line, or the end of the JSON document; `skipped` are the
// scenarios of the selection that do not apply to the method run.
void report_summary(Report& report, const std::vector<ItemResult>& results,
                    const std::vector<const Scenario*>& skipped, bool prime);

}  // namespace tool

#endif
