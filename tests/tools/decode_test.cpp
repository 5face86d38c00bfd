// The decoder on packets a hostile network could send: every length field is
// checked before it is used. What it shows of well-formed packets, as JSON,
// the scenarios' documents in cli_test.cpp check.
#include <gtest/gtest.h>

#include "support/test_host.h"
#include "tools/decode.h"
#include "tools/eap_wire.h"
#include "tools/json.h"

using namespace tool;

namespace {

TEST(Decode, BadLengthsAreNamed) {
    struct Case { const char* name; Bytes packet; const char* shows; };
    const Case cases[] = {
        {"shorter than a header", {1, 2, 0}, "malformed EAP packet"},
        {"Length beyond the buffer", {1, 2, 0, 40, 23, 1, 0, 0}, "malformed EAP packet"},
        {"AKA Length below 8", {1, 2, 0, 6, 23, 1}, "malformed EAP packet"},
        {"attribute past the end", {1, 2, 0, 12, 23, 1, 0, 0, AT_RAND, 5, 0, 0}, "runs past the packet"},
        {"attribute of Length 0", {1, 2, 0, 12, 23, 1, 0, 0, AT_MAC, 0, 0, 0}, "runs past the packet"},
        {"identity longer than its attribute", {1, 2, 0, 16, 23, 5, 0, 0, AT_IDENTITY, 2, 0, 5, 'a', 'b', 'c', 'd'},
         "exceeds"},
        {"RES longer than its attribute", {1, 2, 0, 12, 23, 1, 0, 0, AT_RES, 1, 1, 0}, "exceeds"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        for (const std::string& l : readable_lines(decode_packet(c.packet, nullptr))) text += l + "\n";
        EXPECT_NE(text.find(c.shows), std::string::npos) << text;
    }
}

TEST(Json, StringsAreEscapedAndNested) {
    JsonWriter w;
    w.begin_object().field("text", std::string("a\"b\\c\n\x01\xff", 8)).field("n", int64_t{-3})
        .begin_array("list").value("x").value("y").end_array().field("ok", true).end_object();
    EXPECT_EQ(w.str(), "{\"text\":\"a\\\"b\\\\c\\n\\u0001\\u00ff\",\"n\":-3,\"list\":[\"x\",\"y\"],\"ok\":true}");
}

}  // namespace
