// What the tool prints of the exchanges between the peer and the far end (the
// simulated network, or a RADIUS server): readable lines (default), only the
// lines the command prints itself (--quiet), or one JSON document (--json).
// This is all that goes to stdout; messages about anything else go to stderr.
//
// The document is a list of items (a scenario, an authentication), each with
// the log of its packets, EAP_layer results, host events and key-store
// requests, and its result.
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

struct ItemResult {
    std::string name;          // scenario name, or the kind of authentication
    bool passed = false;
    std::string reason;        // why it failed, or what was shown
    int lastResult = 0;        // last EAP_layer result
    std::string msk;           // hex; empty unless the peer ended in EAP-Success
    double milliseconds = 0;
    std::vector<std::string> hints;
    std::string method;        // "aka" or "aka-prime" where the item says which ran
};

class Report : public HostObserver {
public:
    // `farEnd` names the other side in the log: "network" or "server".
    Report(OutputMode mode, std::FILE* out, std::string farEnd)
        : mode_(mode), out_(out), farEnd_(std::move(farEnd)) {}
    OutputMode mode() const { return mode_; }
    JsonWriter& json() { return json_; }
    // Every EAP packet also goes into this EAPOL capture.
    void set_pcap(PcapWriter* pcap) { pcap_ = pcap; }

    void line(const std::string& text);   // readable mode only

    // An item: `title` as a readable line; in JSON an object, to which the
    // caller adds its identifying members before begin_log().
    void begin_item(const std::string& title);
    void begin_log();
    void conversation(unsigned index, const std::string& description);
    void packet(const Bytes& eap, bool fromPeer, const uint8_t* kEncr);
    void layer_result(int result);
    void note(const std::string& from, const std::string& text);
    void on_event(const HostEvent& event) override;
    void on_keystore(const KeyStoreNote& note) override;
    // Closes the item: the MSK line, or the result's members in JSON.
    void end_item(const ItemResult& result);
    // Hints after an item's verdict line: readable lines, stderr in quiet
    // mode; JSON has them in the item.
    void show_hints(const std::vector<std::string>& hints);

    void print_json();

private:
    void entry(const std::string& label, const std::string& text);

    OutputMode mode_;
    std::FILE* out_;
    std::string farEnd_;
    PcapWriter* pcap_ = nullptr;
    JsonWriter json_;
};

}  // namespace tool

#endif
