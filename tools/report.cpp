#include "tools/report.h"

#include "tools/decode.h"

namespace tool {

namespace {

// Readable log lines: a label column, then the text.
constexpr int LABEL_WIDTH = 17;

// What an event means, without its number.
std::string event_meaning(const HostEvent& event) {
    if (event.type == EAPAKA_EVENT_TIMEOUT) {
        return "response timer expired, conversation taken as " +
               std::string(event.value == EAPAKA_RESULT_SUCCESS_PSEUDONYM ? "success" : "failure");
    }
    if (event.type == EAPAKA_EVENT_EAP_NOTIFICATION) return "EAP notification \"" + event.text + "\"";
    return status_code_name(event.value);
}

}  // namespace

void Report::line(const std::string& text) {
    if (mode_ == OutputMode::Readable) std::fprintf(out_, "%s\n", text.c_str());
}

void Report::entry(const std::string& label, const std::string& text) {
    if (mode_ == OutputMode::Readable) std::fprintf(out_, "  %-*s%s\n", LABEL_WIDTH, label.c_str(), text.c_str());
}

void Report::begin_item(const std::string& title) {
    line(title);
    if (mode_ == OutputMode::Json) json_.begin_object();
}

void Report::begin_log() {
    if (mode_ == OutputMode::Json) json_.begin_array("log");
}

void Report::conversation(unsigned index, const std::string& description) {
    line("--- conversation " + std::to_string(index) + ": " + description);
    if (mode_ != OutputMode::Json) return;
    json_.begin_object().begin_object("conversation").field("index", int64_t{index})
        .field("description", description).end_object().end_object();
}

void Report::packet(const Bytes& eap, bool fromPeer, const uint8_t* kEncr) {
    if (pcap_ != nullptr) pcap_->write(eap, fromPeer);
    if (mode_ == OutputMode::Quiet) return;
    const std::string from = fromPeer ? "peer" : farEnd_;
    const std::string to = fromPeer ? farEnd_ : "peer";
    DecodedPacket decoded = decode_packet(eap, kEncr);
    if (mode_ == OutputMode::Readable) {
        std::vector<std::string> lines = readable_lines(decoded);
        entry(from + " -> " + to, lines[0]);
        for (size_t i = 1; i < lines.size(); ++i) entry("", lines[i]);
        return;
    }
    json_.begin_object().begin_object("packet").field("from", from).field("to", to);
    write_json(json_, decoded, eap);
    json_.end_object().end_object();
}

void Report::layer_result(int result) {
    entry("EAP_layer", std::to_string(result) + " (" + layer_result_name(result) + ")");
    if (mode_ != OutputMode::Json) return;
    json_.begin_object().begin_object("eap_layer").field("result", int64_t{result})
        .field("meaning", layer_result_name(result)).end_object().end_object();
}

void Report::note(const std::string& from, const std::string& text) {
    entry(from, text);
    if (mode_ != OutputMode::Json) return;
    json_.begin_object().begin_object("note").field("from", from).field("text", text).end_object().end_object();
}

void Report::on_event(const HostEvent& event) {
    std::string text = "event " + std::to_string(event.type) + ": " + event_meaning(event);
    if (event.type == EAPAKA_EVENT_STATUS) {
        char code[16];
        std::snprintf(code, sizeof code, " (0x%lx)", static_cast<unsigned long>(event.value));
        text += code;
    }
    entry("host", text);
    if (mode_ != OutputMode::Json) return;
    json_.begin_object().begin_object("event").field("type", int64_t{event.type});
    if (event.type == EAPAKA_EVENT_EAP_NOTIFICATION) {
        json_.field("text", event.text);
    } else {
        json_.field(event.type == EAPAKA_EVENT_TIMEOUT ? "result" : "code", static_cast<int64_t>(event.value))
            .field("meaning", event_meaning(event));
    }
    json_.end_object().end_object();
}

void Report::on_keystore(const KeyStoreNote& note) {
    std::string head = "request " + std::to_string(note.request) + " (" + note.name() + ")";
    entry("key store", note.request == EAPAKA_AUTHKEY_LOAD ? head : head + ": " + note.detail());
    if (mode_ != OutputMode::Json) return;
    json_.begin_object().begin_object("keystore").field("request", static_cast<int64_t>(note.request))
        .field("name", note.name());
    if (note.request == EAPAKA_AUTHKEY_STORE_PSEUDONYM) json_.field("pseudonym", note.pseudonym);
    if (note.request == EAPAKA_AUTHKEY_STORE_SEQMS) {
        json_.begin_array("seq_ms");
        for (const auto& change : note.seqChanges) {
            json_.begin_object().field("index", static_cast<int64_t>(change.first))
                .field("seq", static_cast<int64_t>(change.second)).end_object();
        }
        json_.end_array();
    }
    if (!note.savedTo.empty()) json_.field("saved_to", note.savedTo);
    if (!note.error.empty()) json_.field("error", note.error);
    json_.end_object().end_object();
}

void Report::end_item(const ItemResult& r) {
    if (!r.msk.empty()) entry("MSK", r.msk);
    if (mode_ != OutputMode::Json) return;
    json_.end_array().field("name", r.name).field("passed", r.passed).field("reason", r.reason)
        .field("eap_layer_result", int64_t{r.lastResult}).field("msk", r.msk)
        .field("milliseconds", r.milliseconds);
    if (!r.method.empty()) json_.field("method", r.method);
    json_.begin_array("hints");
    for (const std::string& hint : r.hints) json_.value(hint);
    json_.end_array().end_object();
}

void Report::show_hints(const std::vector<std::string>& hints) {
    for (const std::string& hint : hints) {
        if (mode_ == OutputMode::Readable) entry("hint", hint);
        if (mode_ == OutputMode::Quiet) std::fprintf(stderr, "hint: %s\n", hint.c_str());
    }
}

void Report::print_json() { std::fprintf(out_, "%s\n", json_.str().c_str()); }

}  // namespace tool
