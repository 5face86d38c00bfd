// What the tool prints: readable lines (default), one summary line
// (--quiet) or one JSON document (--json); and the capture file (--pcap).
#ifndef EAPAKA_TOOLS_REPORT_H
#define EAPAKA_TOOLS_REPORT_H

#include <cstdio>
#include <string>
#include <vector>

#include "tools/host.h"
#include "tools/json.h"
#include "tools/pcap.h"

namespace tool {

enum class OutputMode { Readable, Quiet, Json };

struct ScenarioResult {
    std::string name;
    bool passed = false;
    std::string reason;        // why it failed, or what was shown
    int lastResult = 0;        // last EAP_layer result
    std::string msk;           // hex, empty when none
    double milliseconds = 0;
};

class Report : public HostObserver {
public:
    Report(OutputMode mode, std::FILE* out) : mode_(mode), out_(out) {}
    void set_pcap(PcapWriter* pcap) { pcap_ = pcap; }

    void scenario_begin(const std::string& name, const std::string& description);
    void conversation_begin(unsigned index, const std::string& description);
    void packet(const Bytes& packet, bool fromPeer, const uint8_t* kEncr);
    void layer_result(int result);
    void note(const std::string& text);
    void on_event(const HostEvent& event) override;
    void on_keystore(unsigned long request, const std::string& detail) override;
    void scenario_end(const ScenarioResult& result);
    // The closing output: the pass/fail table (several scenarios), the
    // quiet line, or the JSON document.
    void finish(const std::vector<ScenarioResult>& results);

private:
    void line(const std::string& text);

    OutputMode mode_;
    std::FILE* out_;
    PcapWriter* pcap_ = nullptr;
    JsonWriter json_;
    bool jsonStarted_ = false;
    bool jsonInScenario_ = false;
};

}  // namespace tool

#endif
