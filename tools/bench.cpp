#include "tools/bench.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "tools/cli.h"
#include "tools/scenarios.h"

namespace tool {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point begin) {
    return std::chrono::duration<double>(Clock::now() - begin).count();
}

// Progress is for a person watching; a pipe or a file gets none.
const bool g_showProgress = ::isatty(STDERR_FILENO) == 1;

void progress(const char* what, unsigned done, unsigned total, Clock::time_point& lastShown) {
    if (!g_showProgress || seconds_since(lastShown) < 1.0) return;
    std::fprintf(stderr, "\r  %s: %u/%u", what, done, total);
    std::fflush(stderr);
    lastShown = Clock::now();
}

void json_rate(JsonWriter& json, const char* key, double seconds, double reference) {
    json.begin_object(key).field("per_second", 1 / seconds).field("microseconds", seconds * 1e6)
        .field("ratio", seconds / reference).end_object();
}

}  // namespace

int run_bench(unsigned count, const std::string& realm, bool json, bool prime) {
    SubscriberProfile peer = SubscriberProfile::defaults();
    SubscriberProfile network = peer;
    ProfileKeyStore store(peer, "");   // in memory: no file writes in the loop
    Report report(OutputMode::Quiet, stdout, "network");  // the conversations print nothing
    PeerHost host(store, &report);
    NetRandom random;
    Hss hss(network, random);
    EapAkaServer server(hss, realm, random, {}, NetworkMethod{prime, NetworkMethod{}.networkName});
    const unsigned compatibility = prime ? EAP_COMPAT_AKA_PRIME : 0;
    if (prime) EAP_SetCompatibility(compatibility);
    ScenarioEnv env{host, store, hss, server, report, realm, "", compatibility, 0, {}};

    // Reference measured in the same run: one authentication vector of the
    // network (Milenage f1 and f2345 on the network side).
    auto begin = Clock::now();
    for (unsigned i = 0; i < count; ++i) hss.generate(false);
    double vectorSeconds = seconds_since(begin) / count;

    unsigned failures = 0;
    auto lastShown = Clock::now();
    begin = Clock::now();
    for (unsigned i = 0; i < count; ++i) {
        failures += !converse(env, ServerPlan{}).peerSuccess;
        progress("full", i + 1, count, lastShown);
    }
    double fullSeconds = seconds_since(begin) / count;

    ServerPlan issue;
    issue.issueReauthId = true;
    double reauthTotal = 0;
    for (unsigned i = 0; i < count; ++i) {
        failures += !converse(env, issue).peerSuccess;
        auto start = Clock::now();
        failures += !converse(env, ServerPlan{}).peerSuccess || !server.reauthenticated;
        reauthTotal += seconds_since(start);
        progress("reauth", i + 1, count, lastShown);
    }
    double reauthSeconds = reauthTotal / count;
    if (g_showProgress) std::fprintf(stderr, "\r%40s\r", "");

    if (json) {
        JsonWriter doc;
        doc.begin_object().field("command", "bench").field("method", method_option_name(prime))
            .field("count", int64_t{count})
            .field("reference_microseconds", vectorSeconds * 1e6);
        json_rate(doc, "full_authentication", fullSeconds, vectorSeconds);
        json_rate(doc, "fast_reauthentication", reauthSeconds, vectorSeconds);
        doc.field("failures", int64_t{failures}).end_object();
        std::printf("%s\n", doc.str().c_str());
        return failures == 0 ? 0 : 1;
    }
    std::printf("eapaka bench: %u of each in %s, peer library and simulated network in one process\n", count,
                method_title(prime));
    std::printf("  reference: one network authentication vector  %9.1f us\n", vectorSeconds * 1e6);
    std::printf("  full authentication        %10.0f auth/s  %9.1f us  (%.1f x reference)\n",
                1 / fullSeconds, fullSeconds * 1e6, fullSeconds / vectorSeconds);
    std::printf("  fast re-authentication     %10.0f auth/s  %9.1f us  (%.1f x reference)\n",
                1 / reauthSeconds, reauthSeconds * 1e6, reauthSeconds / vectorSeconds);
    if (failures != 0) std::printf("  %u authentications FAILED\n", failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace tool
