// eapaka bench: full authentications and fast re-authentications in
// process, peer and simulated network together, with the trace off.
#ifndef EAPAKA_TOOLS_BENCH_H
#define EAPAKA_TOOLS_BENCH_H

#include <string>

namespace tool {

// Prints the rates to stdout, readable or as one JSON document, and a
// progress line to stderr when that is a terminal. Returns 0 when every
// authentication succeeded. `prime` measures EAP-AKA' instead of EAP-AKA.
int run_bench(unsigned count, const std::string& realm, bool json, bool prime);

}  // namespace tool

#endif
