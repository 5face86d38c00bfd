// The key-store protocol: which request each operation issues, which bytes
// of the shared buffer it reads or writes, and what happens when the host
// registered nothing.
#include <climits>
#include <cstring>
#include <functional>
#include <tuple>

#include "api/session.h"
#include "keystore/keystore.h"
#include "platform/platform.h"
#include "support/test_host.h"

namespace {

class KeystoreTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        // Distinct bytes everywhere, so a read at the wrong offset shows.
        for (size_t i = 0; i < sizeof keys.store; ++i)
            keys.store[i] = static_cast<uint8_t>(i * 13 + 7);
    }
    Bytes stored(size_t offset, size_t size) const {
        return Bytes(keys.store + offset, keys.store + offset + size);
    }
};

Bytes bytes_at(const void* p, size_t size) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return Bytes(b, b + size);
}

struct LoadCase {
    const char* name;
    std::function<void(uint8_t* local)> load;
    // (offset in the buffer, destination, size) for each field read.
    std::vector<std::tuple<size_t, std::function<const uint8_t*(const uint8_t* local)>, size_t>> fields;
};

std::vector<LoadCase> load_cases() {
    auto local = [](const uint8_t* l) { return l; };
    auto session = [](const void* field) {
        return [field](const uint8_t*) { return static_cast<const uint8_t*>(field); };
    };
    return {
        {"permanent id", [](uint8_t* l) { keystore_load_permanent_id(l); }, {{0, local, 16}}},
        {"pseudonym", [](uint8_t* l) { keystore_load_pseudonym(l); }, {{180, local, 23}}},
        {"key set", [](uint8_t* l) { keystore_load_key_set(l); },
         {{16, local, 16}, {32, session(g_session.opc), 16}}},
        {"alternate key set", [](uint8_t* l) { keystore_load_alt_key_set(l); },
         {{48, local, 16}, {64, session(g_session.opc), 16}}},
        {"milenage c", [](uint8_t*) { keystore_load_milenage_c(); },
         {{80, session(g_session.milenageC), 80}}},
        {"seqms", [](uint8_t*) { keystore_load_seqms(); }, {{203, session(g_session.seqms), 192}}},
    };
}

TEST_F(KeystoreTest, EachLoadIssuesOneRequestAndReadsItsFields) {
    for (const LoadCase& c : load_cases()) {
        SCOPED_TRACE(c.name);
        keys.requests.clear();
        std::memset(keys.buffer, 0, sizeof keys.buffer);  // only the load fills it
        uint8_t local[32];
        std::memset(local, 0xEE, sizeof local);
        c.load(local);
        EXPECT_EQ(keys.requests, (std::vector<unsigned long>{AUTHKEY_LOAD}));
        for (const auto& [offset, destination, size] : c.fields)
            EXPECT_EQ(bytes_at(destination(local), size), stored(offset, size)) << offset;
        EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), stored(0, sizeof keys.store))
            << "the library does not write the buffer on a load";
    }
}

// r1..r5 are signed 32-bit little-endian.
TEST_F(KeystoreTest, MilenageRotationsAreLittleEndianSigned) {
    Bytes c[5];
    for (Bytes& b : c) b = Bytes(16, 0);
    const int32_t r[5] = {64, 0, -1, 0x12345678, INT32_MIN};
    keys.set_milenage(c, r);
    keystore_load_milenage_r();
    EXPECT_EQ(keys.requests, (std::vector<unsigned long>{AUTHKEY_LOAD}));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(g_session.milenageR[i], r[i]) << i;
    EXPECT_EQ(stored(168, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(stored(172, 4), (Bytes{0x78, 0x56, 0x34, 0x12}));
}

// An accepted SQN changes exactly its 6-byte entry before request 3.
TEST_F(KeystoreTest, StoringSeqEntryChangesOnlyItsSixBytes) {
    keys.requests.clear();
    for (unsigned index : {0u, 1u, 17u, 31u}) {
        SCOPED_TRACE(index);
        keystore_load_seqms();  // the buffer holds what the host gave
        keys.requests.clear();
        const Bytes before = bytes_at(keys.buffer, sizeof keys.buffer);
        const uint8_t entry[6] = {0x07, 0xA1, 0xB2, 0xC3, 0xD4, static_cast<uint8_t>(index)};
        keystore_store_seq_entry(index, entry);
        EXPECT_EQ(keys.requests, (std::vector<unsigned long>{AUTHKEY_STORE_SEQMS}));
        const size_t at = 203 + 6 * index;
        for (size_t i = 0; i < sizeof keys.buffer; ++i) {
            if (i >= at && i < at + 6) EXPECT_EQ(keys.buffer[i], entry[i - at]) << i;
            else EXPECT_EQ(keys.buffer[i], before[i]) << i;
        }
        EXPECT_EQ(stored(at, 6), bytes_at(entry, 6)) << "the host persisted the array";
    }
}

TEST_F(KeystoreTest, SeqEntryBeyondTheArrayIsIgnored) {
    const Bytes before = bytes_at(keys.buffer, sizeof keys.buffer);
    const uint8_t entry[6] = {1, 2, 3, 4, 5, 6};
    keystore_store_seq_entry(32, entry);
    keystore_store_seq_entry(UINT_MAX, entry);
    EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), before);
    EXPECT_TRUE(keys.requests.empty());
}

// The debugger line is formatted from the buffer after the write and before
// request 2.
std::vector<std::string> debugLines;
size_t requestsAtDebugLine = 0;
TestKeyStore* storeUnderTest = nullptr;
void capture_debug(const char* text) {
    debugLines.push_back(text);
    requestsAtDebugLine = storeUnderTest->requests.size();
}

TEST_F(KeystoreTest, StoringPseudonymWritesTwentyThreeBytesThenRequestTwo) {
    storeUnderTest = &keys;
    debugLines.clear();
    platform_set_debug_sink(capture_debug);
    const Bytes before = bytes_at(keys.buffer, sizeof keys.buffer);
    // 30 bytes received: only the first 23 reach the store.
    const std::string received = "G0123456789abcdefABCDEF-extra";
    keystore_store_pseudonym(reinterpret_cast<const uint8_t*>(received.data()));
    platform_set_debug_sink(nullptr);

    EXPECT_EQ(keys.requests, (std::vector<unsigned long>{AUTHKEY_STORE_PSEUDONYM}));
    for (size_t i = 0; i < sizeof keys.buffer; ++i) {
        if (i >= 180 && i < 203) EXPECT_EQ(keys.buffer[i], uint8_t(received[i - 180])) << i;
        else EXPECT_EQ(keys.buffer[i], before[i]) << i;
    }
    EXPECT_EQ(keys.pseudonym(), received.substr(0, 23));
    ASSERT_EQ(debugLines.size(), 1u);
    EXPECT_EQ(requestsAtDebugLine, 0u) << "logged before the store request";
    EXPECT_EQ(debugLines[0],
              "Original PseudonymID : 47 30 31 32 33 34 35 36 37 38\n"
              "\t\t39 61 62 63 64 65 66 41 42 43\n\t\t44 45 46\n");
}

// Without a registered store no pointer is followed: loads give zeros when
// there is no buffer, stores need a buffer and signal only with a callback.
TEST_F(KeystoreTest, UnregisteredStoreIsNeverDereferenced) {
    struct Case {
        const char* name;
        bool callback;
        bool buffer;
    };
    const Case cases[] = {
        {"nothing registered", false, false},
        {"buffer only", false, true},
        {"callback only", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keys.install();
        keystore_load_milenage_c();  // the buffer now holds the host's data
        keys.requests.clear();
        RegisterAuthKeyCallBack(c.callback ? g_session.authKeyCallBack : nullptr,
                                c.buffer ? keys.buffer : nullptr);
        const Bytes bufferBefore = bytes_at(keys.buffer, sizeof keys.buffer);

        uint8_t id[16];
        std::memset(id, 0xEE, sizeof id);
        std::memset(g_session.opc, 0xEE, sizeof g_session.opc);
        keystore_load_permanent_id(id);
        uint8_t k[16];
        keystore_load_key_set(k);
        const Bytes expectedId = c.buffer ? stored(0, 16) : Bytes(16, 0);
        EXPECT_EQ(bytes_at(id, 16), expectedId);
        EXPECT_EQ(bytes_at(g_session.opc, 16), c.buffer ? stored(32, 16) : Bytes(16, 0));

        const uint8_t pseudonym[23] = {'G'};
        const uint8_t entry[6] = {0, 0, 0, 0, 0, 0x20};
        keystore_store_pseudonym(pseudonym);
        keystore_store_seq_entry(3, entry);
        if (c.buffer) {
            EXPECT_EQ(keys.buffer[180], 'G');
            EXPECT_EQ(keys.buffer[203 + 18 + 5], 0x20);
        } else {
            EXPECT_EQ(bytes_at(keys.buffer, sizeof keys.buffer), bufferBefore);
        }
        const std::vector<unsigned long> expectedRequests =
            c.callback ? std::vector<unsigned long>{AUTHKEY_LOAD, AUTHKEY_LOAD}
                       : std::vector<unsigned long>{};
        EXPECT_EQ(keys.requests, expectedRequests);
    }
}

}  // namespace
