// Stateful target: one conversation per input, packets and timer expiries
// in the order the input gives them (record format in fuzz_host.h), against
// a fixed subscriber. Every input starts from the library's load state, so
// a crash reproduces from its input alone.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_host_run_conversation(data, size);
    return 0;
}
