// The message log: exact formats, append-only to an existing file, and
// nothing at all when the file is absent.
#include <cstring>
#include <regex>

#include "api/session.h"
#include "diag/message_log.h"
#include "support/test_host.h"

namespace {

// The time stamp is the only line that varies; its shape is checked and it
// is replaced by a marker so the rest can be compared byte for byte.
std::string with_time_stamps_masked(const std::string& trace) {
    static const std::regex stamp(
        "\tTime Stamp: (1[0-2]|[1-9])\\.([1-3][0-9]|[1-9]) ( [0-9]|1[0-9]|2[0-3]):( [0-9]|[1-5][0-9]):"
        "( [0-9]|[1-5][0-9]|60):[0-9]{1,3}\n");
    return std::regex_replace(trace, stamp, "<TS>\n");
}

Bytes counting(size_t n, uint8_t first) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

TEST(MessageLogTest, HexDumpLayout) {
    struct Case { const char* name; const char* label; Bytes bytes; std::string expected; };
    const Case cases[] = {
        {"0 bytes", "L", {}, "L\t\n"},
        {"0 bytes, no label", nullptr, {}, "\n"},
        {"1 byte", "\t", {0x0A}, "\t\t0A \n"},
        {"16 bytes", nullptr, counting(16, 0xA0),
         "A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF \n\t\n"},
        {"18 bytes", "\tData:\n", counting(18, 0xF0),
         "\tData:\n\tF0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \n\t00 01 \n"},
        {"32 bytes", "x", counting(32, 0),
         "x\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n\t"
         "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \n\t\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceFile trace;
        msglog_hex(c.label, c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
        EXPECT_EQ(trace.contents(), c.expected);
    }
}

// Lines are appended to what the file holds; text is written as it stands,
// never as a format. Without the file nothing is created.
TEST(MessageLogTest, LinesAreAppendedOnlyToAnExistingFile) {
    {
        TraceFile trace(false);
        const uint8_t packet[] = {1, 2, 5, 0, 1};  // Length 5, host order
        const uint8_t seqms[32][6] = {};
        msglog_line("line %d", 1);
        msglog_text(packet, sizeof packet);
        msglog_hex("x", packet, sizeof packet);
        msglog_eap_packet(packet);
        msglog_seqms(seqms);
        EXPECT_FALSE(trace.exists());
    }
    TraceFile trace;
    std::FILE* f = std::fopen(trace.path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("earlier\n", f);
    std::fclose(f);
    msglog_line("\n>EAP_Init() : PermanentID Length=%d", 15);
    msglog_line("\t>>value %s %u", "x", 7u);
    const uint8_t text[] = {'5', '0', '%', ' ', '%', 's', 0x00, 0xBD};
    msglog_text(text, sizeof text);
    EXPECT_EQ(trace.contents(), std::string("earlier\n\n>EAP_Init() : PermanentID Length=15\n\t>>value x 7\n50% %s") +
                                    '\0' + "\xBD\n");
}

// The names the EAP_layer traces below do not show.
TEST(MessageLogTest, EapPacketDumpNamesCodesAndTypes) {
    struct Case { uint8_t code; uint8_t type; const char* codeName; const char* typeName; };
    const Case cases[] = {{3, 3, "Success", "Nak Response"}, {4, 23, "Failure", "EAP-AKA"}, {0, 0, "?", "?"},
                          {5, 4, "?", "?"}, {255, 255, "?", "?"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.code));
        TraceFile trace;
        uint8_t packet[6] = {c.code, 0xAB, 0, 0, c.type, 0x7E};
        const uint16_t length = 6;
        std::memcpy(packet + 2, &length, 2);
        msglog_eap_packet(packet);
        char expected[256];
        std::snprintf(expected, sizeof expected,
                      "<TS>\n\tEAP code  : %s (0x%02x)\n\tEAP id    : 0xab\n"
                      "\tEAP length: 0x0006 (6)\n\tType: %s (0x%02x)\n\tData:\n\t7E \n",
                      c.codeName, c.code, c.typeName, c.type);
        EXPECT_EQ(with_time_stamps_masked(trace.contents()), expected);
    }
}

TEST(MessageLogTest, SeqmsDump) {
    TraceFile trace;
    uint8_t seqms[32][6] = {};
    seqms[31][0] = 0x07;
    seqms[31][5] = 0xFF;
    msglog_seqms(seqms);
    std::string expected;
    for (int i = 0; i < 32; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "\tSEQMS[%2d]\n\t\t%s \n", i, i == 31 ? "07 00 00 00 00 FF" : "00 00 00 00 00 00");
        expected += line;
    }
    EXPECT_EQ(trace.contents(), expected);
}

// What EAP_layer writes: each packet received and sent, the pseudonym it
// offers, notification text as it stands (never as a format), and a
// header-only packet without its Type and Data lines.
class LayerTraceTest : public LibraryTest {};

TEST_F(LayerTraceTest, ExchangesAreTracedByteForByte) {
    keys.set_pseudonym("GABCDEFGHIJKLMNOPQRSTUV");
    const std::string received = "\n>Receive message:\n<TS>\n", sent = "\n<Send EAP message:\n<TS>\n",
                      end = "\n<Return Result EAP(end of EAP_LAYER):\n";
    struct Case { const char* name; Bytes packet; int result; std::string trace; } cases[] = {
        {"identity", {1, 7, 0, 5, 1}, 2,
         received + "\tEAP code  : Request (0x01)\n\tEAP id    : 0x07\n\tEAP length: 0x0005 (5)\n"
             "\tType: Identity (0x01)\n\tData:\n\t\n=====> IND : 1\n"
             "GetPseudonymID : 47 41 42 43 44 45 46 47 48 49\n\t\t4a 4b 4c 4d 4e 4f 50 51 52 53\n\t\t 54 55 56\n\n" +
             sent + "\tEAP code  : Response (0x02)\n\tEAP id    : 0x07\n\tEAP length: 0x0025 (37)\n"
             "\tType: Identity (0x01)\n\tData:\n\t47 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F \n"
             "\t50 51 52 53 54 55 56 40 74 65 73 74 2E 6F 72 67 \n\t\n" + end},
        {"notification", {1, 9, 0, 10, 2, '%', 's', '%', 'n', '!'}, 2,
         received + "\tEAP code  : Request (0x01)\n\tEAP id    : 0x09\n\tEAP length: 0x000a (10)\n"
             "\tType: Notification (0x02)\n\tData:\n\t25 73 25 6E 21 \n"
             "\n================\n\nWrite EAP-Notification:\n\t\n%s%n!\n\n================\n" +
             sent + "\tEAP code  : Response (0x02)\n\tEAP id    : 0x09\n\tEAP length: 0x0005 (5)\n"
             "\tType: Notification (0x02)\n\tData:\n\t\n" + end},
        {"header only", {4, 3, 0, 4}, 15,
         received + "\tEAP code  : Failure (0x04)\n\tEAP id    : 0x03\n\tEAP length: 0x0004 (4)\n" + end},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        init();
        TraceFile trace;
        ASSERT_EQ(feed(c.packet), c.result);
        EXPECT_EQ(with_time_stamps_masked(trace.contents()), c.trace);
    }
}

}  // namespace
