// The decoder, readable and as JSON, on packets a hostile network could
// send: every length field is checked before it is used.
#include <gtest/gtest.h>

#include "support/aka_server.h"
#include "tools/decode.h"
#include "tools/eap_wire.h"
#include "tools/json.h"

using namespace tool;

namespace {

std::string readable(const Bytes& packet, const uint8_t* kEncr) {
    std::string all;
    for (const std::string& l : readable_lines(decode_packet(packet, kEncr))) all += l + "\n";
    return all;
}

std::string json(const Bytes& packet, const uint8_t* kEncr) {
    JsonWriter w;
    w.begin_object();
    write_json(w, decode_packet(packet, kEncr), packet);
    return w.end_object().str();
}

TEST(Decode, EncryptedAttributesAreShownWithTheKey) {
    const Bytes key(16, 0x42), packet = akasrv::aka_request(
        7, AKA_CHALLENGE, akasrv::encrypted(key, Bytes(16, 0x24), akasrv::identity_attr(AT_NEXT_PSEUDONYM, "G123")));

    std::string withKey = readable(packet, key.data());
    EXPECT_EQ(withKey.rfind("EAP-Request/AKA-Challenge id=7 len=" + std::to_string(packet.size()), 0), 0u);
    EXPECT_NE(withKey.find("AT_NEXT_PSEUDONYM    \"G123\""), std::string::npos) << withKey;
    EXPECT_NE(json(packet, key.data()).find("\"decrypted\":[{\"type\":132,\"name\":\"AT_NEXT_PSEUDONYM\","
                                            "\"length\":2,\"text\":\"G123\"}"),
              std::string::npos);
    EXPECT_EQ(readable(packet, nullptr).find("AT_NEXT_PSEUDONYM"), std::string::npos);
    EXPECT_EQ(json(packet, nullptr).find("decrypted"), std::string::npos);
}

// Each attribute with its decoded fields.
TEST(Decode, JsonGivesEachAttributeItsDecodedFields) {
    const Bytes aka = {1, 7, 0, 28, 23, AKA_CHALLENGE, 0, 0, AT_RES, 3, 0, 64, 1, 2, 3, 4, 5, 6, 7, 8,
                       AT_NOTIFICATION, 1, 0x80, 0x00, AT_RESULT_IND, 1, 0, 0};
    EXPECT_EQ(json(aka, nullptr),
              "{\"code\":1,\"code_name\":\"EAP-Request\",\"identifier\":7,\"length\":28,\"type\":23,"
              "\"type_name\":\"EAP-AKA\",\"subtype\":1,\"subtype_name\":\"AKA-Challenge\",\"attributes\":["
              "{\"type\":3,\"name\":\"AT_RES\",\"length\":3,\"bits\":64,\"value\":\"0102030405060708\"},"
              "{\"type\":12,\"name\":\"AT_NOTIFICATION\",\"length\":1,\"code\":32768,\"success\":true,"
              "\"phase\":false,\"meaning\":\"success\"},"
              "{\"type\":135,\"name\":\"AT_RESULT_IND\",\"length\":1}],"
              "\"malformed\":false,\"hex\":\"" + bytes_to_hex(aka) + "\"}");
}

// What the readable decoder shows; every length field is checked before it
// is used.
TEST(Decode, ReadableLinesAndBadLengths) {
    struct Case { const char* name; Bytes packet; const char* shows; };
    const Case cases[] = {
        {"AT_BIDDING", {1, 3, 0, 12, 23, AKA_CHALLENGE, 0, 0, AT_BIDDING, 1, 0x80, 0x00},
         "AT_BIDDING           D=1 (the server prefers EAP-AKA')"},
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
        const std::string text = readable(c.packet, nullptr);
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
