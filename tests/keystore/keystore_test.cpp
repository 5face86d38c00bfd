// The key-store protocol: which request each operation issues, which bytes
// of the shared buffer it reads or writes, and what happens when the host
// registered nothing.
#include <climits>
#include <cstring>

#include "api/session.h"
#include "keystore/keystore.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {

using Requests = std::vector<unsigned long>;

Bytes bytes_at(const void* p, size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return Bytes(b, b + size);
}

class KeystoreTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // Distinct bytes everywhere, so a read at the wrong offset shows.
        for (size_t i = 0; i < sizeof keys.store; ++i) keys.store[i] = static_cast<uint8_t>(i * 13 + 7);
    }
    Bytes stored(size_t offset, size_t size) const { return bytes_at(keys.store + offset, size); }
};

// Each load issues one request 1 and copies its fields from the offsets of
// the buffer layout; it never writes the buffer. r1..r5 are signed 32-bit
// little-endian, as this (little-endian) host keeps them.
TEST_F(KeystoreTest, EachLoadIssuesOneRequestAndReadsItsFields) {
    uint8_t local[23];
    struct Case {
        const char* name;
        void (*load)(uint8_t* local);
        std::vector<std::pair<const void*, size_t>> destinations;  // each filled from the next offset
        size_t offset;
    } cases[] = {
        {"permanent id", [](uint8_t* l) { keystore_load_permanent_id(l); }, {{local, 16}}, 0},
        {"pseudonym", [](uint8_t* l) { keystore_load_pseudonym(l); }, {{local, 23}}, 180},
        {"key set", [](uint8_t* l) { keystore_load_key_set(l); }, {{local, 16}, {g_session.opc, 16}}, 16},
        {"alternate key set", [](uint8_t* l) { keystore_load_alt_key_set(l); }, {{local, 16}, {g_session.opc, 16}}, 48},
        {"milenage c", [](uint8_t*) { keystore_load_milenage_c(); }, {{g_session.milenageC, 80}}, 80},
        {"milenage r", [](uint8_t*) { keystore_load_milenage_r(); }, {{g_session.milenageR, 20}}, 160},
        {"seqms", [](uint8_t*) { keystore_load_seqms(); }, {{g_session.seqms, 192}}, 203},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.requests.clear();
        std::memset(keys.buffer, 0, sizeof keys.buffer);  // only the load fills it
        c.load(local);
        EXPECT_EQ(keys.requests, Requests{AUTHKEY_LOAD});
        size_t offset = c.offset;
        for (const auto& [destination, size] : c.destinations) {
            EXPECT_EQ(bytes_at(destination, size), stored(offset, size)) << offset;
            offset += size;
        }
        EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), stored(0, sizeof keys.store));
    }
}

// An accepted SQN changes exactly its 6-byte entry, then request 3; an
// index beyond the array writes nothing and requests nothing.
TEST_F(KeystoreTest, StoringSeqEntryChangesOnlyItsSixBytes) {
    for (unsigned index : {0u, 1u, 17u, 31u, 32u, UINT_MAX}) {
        SCOPED_TRACE(index);
        keystore_load_seqms();  // the buffer holds what the host gave
        keys.requests.clear();
        Bytes expected = bytes_at(keys.buffer, sizeof keys.buffer);
        const uint8_t entry[6] = {0x07, 0xA1, 0xB2, 0xC3, 0xD4, static_cast<uint8_t>(index)};
        keystore_store_seq_entry(index, entry);
        if (index < 32) std::memcpy(&expected[203 + 6 * index], entry, 6);
        EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), expected);
        EXPECT_EQ(bytes_at(keys.store, sizeof keys.store), expected) << "what the host persisted";
        EXPECT_EQ(keys.requests, index < 32 ? Requests({AUTHKEY_STORE_SEQMS}) : Requests());
    }
}

// 23 of the bytes received reach the store, then request 2; the debugger
// line is formatted from the buffer after the write and before the request.
std::vector<std::string> debugLines;
size_t requestsAtDebugLine = 0;
TestKeyStore* storeUnderTest = nullptr;

TEST_F(KeystoreTest, StoringPseudonymWritesTwentyThreeBytesThenRequestTwo) {
    storeUnderTest = &keys;
    debugLines.clear();
    platform_set_debug_sink([](const char* text) {
        debugLines.push_back(text);
        requestsAtDebugLine = storeUnderTest->requests.size();
    });
    Bytes expected = bytes_at(keys.buffer, sizeof keys.buffer);
    const std::string received = "G0123456789abcdefABCDEF-extra";
    keystore_store_pseudonym(reinterpret_cast<const uint8_t*>(received.data()));
    platform_set_debug_sink(nullptr);

    std::memcpy(&expected[180], received.data(), 23);
    EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), expected);
    EXPECT_EQ(keys.requests, Requests{AUTHKEY_STORE_PSEUDONYM});
    EXPECT_EQ(keys.pseudonym(), received.substr(0, 23));
    EXPECT_EQ(requestsAtDebugLine, 0u) << "logged before the store request";
    EXPECT_EQ(debugLines, std::vector<std::string>{"Original PseudonymID : 47 30 31 32 33 34 35 36 37 38\n"
                                                   "\t\t39 61 62 63 64 65 66 41 42 43\n\t\t44 45 46\n"});
}

// Without a registered store no pointer is followed: loads give zeros when
// there is no buffer, stores need a buffer and signal only with a callback.
TEST_F(KeystoreTest, UnregisteredStoreIsNeverDereferenced) {
    for (bool callback : {false, true}) {
        for (bool buffer : {false, true}) {
            if (callback && buffer) continue;
            SCOPED_TRACE(std::string(callback ? "callback" : "no callback") + (buffer ? ", buffer" : ", no buffer"));
            keys.install();
            keystore_load_milenage_c();  // the buffer now holds the host's data
            keys.requests.clear();
            RegisterAuthKeyCallBack(callback ? g_session.authKeyCallBack : nullptr, buffer ? keys.buffer : nullptr);
            Bytes expected = bytes_at(keys.buffer, sizeof keys.buffer);
            uint8_t id[16], k[16];
            std::memset(g_session.opc, 0xEE, sizeof g_session.opc);
            keystore_load_permanent_id(id);
            keystore_load_key_set(k);
            EXPECT_EQ(bytes_at(id, 16), buffer ? stored(0, 16) : Bytes(16, 0));
            EXPECT_EQ(bytes_at(g_session.opc, 16), buffer ? stored(32, 16) : Bytes(16, 0));

            const uint8_t pseudonym[23] = {'G'}, entry[6] = {0, 0, 0, 0, 0, 0x20};
            keystore_store_pseudonym(pseudonym);
            keystore_store_seq_entry(3, entry);
            if (buffer) {
                std::memcpy(&expected[180], pseudonym, 23);
                std::memcpy(&expected[203 + 18], entry, 6);
            }
            EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), expected);
            EXPECT_EQ(keys.requests, callback ? Requests({AUTHKEY_LOAD, AUTHKEY_LOAD}) : Requests());
        }
    }
}

}  // namespace
