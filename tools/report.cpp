#include "tools/report.h"

#include "tools/decode.h"

namespace tool {

void Report::line(const std::string& text) {
    if (mode_ == OutputMode::Readable) std::fprintf(out_, "%s\n", text.c_str());
}

void Report::scenario_begin(const std::string& name, const std::string& description) {
    line("");
    line("=== scenario " + name + ": " + description);
    if (mode_ != OutputMode::Json) return;
    if (!jsonStarted_) {
        json_.begin_object().begin_array("scenarios");
        jsonStarted_ = true;
    }
    json_.begin_object().field("name", name).field("description", description).begin_array("log");
    jsonInScenario_ = true;
}

void Report::conversation_begin(unsigned index, const std::string& description) {
    line("--- conversation " + std::to_string(index) + ": " + description);
    if (mode_ == OutputMode::Json) {
        json_.begin_object().field("conversation", static_cast<int64_t>(index))
            .field("description", description).end_object();
    }
}

void Report::packet(const Bytes& packet, bool fromPeer, const uint8_t* kEncr) {
    if (pcap_ != nullptr) pcap_->write(packet, fromPeer);
    const char* direction = fromPeer ? "peer -> network" : "network -> peer";
    if (mode_ == OutputMode::Readable) {
        std::vector<std::string> lines = decode_packet(packet, kEncr);
        std::fprintf(out_, "  %s  %s\n", direction, lines[0].c_str());
        for (size_t i = 1; i < lines.size(); ++i) std::fprintf(out_, "                   %s\n", lines[i].c_str());
    } else if (mode_ == OutputMode::Json) {
        json_.begin_object().field("packet", fromPeer ? "peer" : "network")
            .field("summary", packet_summary(packet)).field("hex", to_hex(packet))
            .begin_array("decoded");
        std::vector<std::string> lines = decode_packet(packet, kEncr);
        for (size_t i = 1; i < lines.size(); ++i) json_.value(lines[i]);
        json_.end_array().end_object();
    }
}

void Report::layer_result(int result) {
    line("  EAP_layer        " + std::to_string(result) + " (" + layer_result_name(result) + ")");
    if (mode_ == OutputMode::Json) {
        json_.begin_object().field("eap_layer", static_cast<int64_t>(result))
            .field("meaning", layer_result_name(result)).end_object();
    }
}

void Report::note(const std::string& text) {
    line("  network          " + text);
    if (mode_ == OutputMode::Json) json_.begin_object().field("network", text).end_object();
}

void Report::on_event(const HostEvent& event) {
    std::string text;
    if (event.type == EAPAKA_EVENT_TIMEOUT) {
        text = "event 0: response timer expired, conversation taken as " +
               std::string(event.value == EAPAKA_RESULT_SUCCESS_PSEUDONYM ? "success" : "failure");
    } else if (event.type == EAPAKA_EVENT_EAP_NOTIFICATION) {
        text = "event 1: EAP notification \"" + event.text + "\"";
    } else {
        char code[16];
        std::snprintf(code, sizeof code, "0x%lx", static_cast<unsigned long>(event.value));
        text = "event 2: " + status_code_name(event.value) + " (" + code + ")";
    }
    line("  host             " + text);
    if (mode_ == OutputMode::Json) {
        json_.begin_object().field("event", static_cast<int64_t>(event.type))
            .field("value", static_cast<int64_t>(event.value)).field("text", text).end_object();
    }
}

void Report::on_keystore(unsigned long request, const std::string& detail) {
    const char* name = request == EAPAKA_AUTHKEY_LOAD ? "load" :
                       request == EAPAKA_AUTHKEY_STORE_PSEUDONYM ? "store pseudonym" : "store SEQ_MS";
    if (request == EAPAKA_AUTHKEY_LOAD) line(std::string("  key store        request 1 (") + name + ")");
    else line("  key store        request " + std::to_string(request) + " (" + name + "): " + detail);
    if (mode_ == OutputMode::Json) {
        json_.begin_object().field("keystore", static_cast<int64_t>(request)).field("detail", detail).end_object();
    }
}

void Report::scenario_end(const ScenarioResult& r) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f ms", r.milliseconds);
    if (!r.msk.empty()) line("  MSK              " + r.msk);
    line(std::string(r.passed ? "PASS " : "FAIL ") + r.name + ": " + r.reason + " [" + time + "]");
    if (mode_ == OutputMode::Json && jsonInScenario_) {
        json_.end_array().field("passed", r.passed).field("reason", r.reason)
            .field("eap_layer_result", static_cast<int64_t>(r.lastResult)).field("msk", r.msk)
            .field("milliseconds", r.milliseconds).end_object();
        jsonInScenario_ = false;
    }
}

void Report::finish(const std::vector<ScenarioResult>& results) {
    size_t passed = 0;
    double total = 0;
    for (const ScenarioResult& r : results) {
        passed += r.passed;
        total += r.milliseconds;
    }
    if (mode_ == OutputMode::Json) {
        if (!jsonStarted_) json_.begin_object().begin_array("scenarios");
        json_.end_array().field("passed", passed == results.size())
            .field("count", static_cast<int64_t>(results.size()))
            .field("passed_count", static_cast<int64_t>(passed)).end_object();
        std::fprintf(out_, "%s\n", json_.str().c_str());
        return;
    }
    if (mode_ == OutputMode::Quiet) {
        if (results.size() == 1) {
            std::fprintf(out_, "%s %s: %s (%.1f ms)\n", results[0].passed ? "PASS" : "FAIL",
                         results[0].name.c_str(), results[0].reason.c_str(), results[0].milliseconds);
        } else {
            std::string failed;
            for (const ScenarioResult& r : results) {
                if (!r.passed) failed += (failed.empty() ? "" : ", ") + r.name;
            }
            std::fprintf(out_, "%s %zu/%zu scenarios passed (%.1f s)%s%s\n",
                         passed == results.size() ? "PASS" : "FAIL", passed, results.size(),
                         total / 1000, failed.empty() ? "" : "; failed: ", failed.c_str());
        }
        return;
    }
    if (results.size() < 2) return;
    std::fprintf(out_, "\n%-18s %-6s %10s  %s\n", "scenario", "result", "time", "detail");
    for (const ScenarioResult& r : results) {
        std::fprintf(out_, "%-18s %-6s %7.1f ms  %s\n", r.name.c_str(), r.passed ? "PASS" : "FAIL",
                     r.milliseconds, r.reason.c_str());
    }
    std::fprintf(out_, "%zu of %zu scenarios passed in %.1f s\n", passed, results.size(), total / 1000);
}

}  // namespace tool
