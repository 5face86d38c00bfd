// eapaka bench: full authentications and fast re-authentications in
// process, peer and simulated network together, with the trace off.
#ifndef EAPAKA_TOOLS_BENCH_H
#define EAPAKA_TOOLS_BENCH_H

#include <cstdio>
#include <string>

namespace tool {

// Prints the rates to `out` and a progress line to stderr on long runs.
// Returns 0 when every authentication succeeded.
int run_bench(unsigned count, const std::string& realm, std::FILE* out);

}  // namespace tool

#endif
