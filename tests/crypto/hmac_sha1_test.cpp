#include <cstring>

#include "eapaka/eapaka.h"
#include "support/random_bytes.h"
#include "support/oracle.h"

namespace {

constexpr uint8_t kGuard = 0xA5;

// hmac_sha1 into a 40-byte guarded buffer; returns the whole buffer.
Bytes mac_into_guarded(const Bytes& key, const Bytes& data, int macLength) {
    Bytes out(40, kGuard);
    hmac_sha1(key.data(), static_cast<int>(key.size()), data.data(),
              static_cast<int>(data.size()), out.data(), macLength);
    return out;
}

// Keys of every length 0..100 cross the 64-byte hashing threshold.
TEST(HmacSha1, MatchesOpenSslForKeysUpTo100Bytes) {
    RandomBytes random(2104);
    for (size_t keyLength = 0; keyLength <= 100; ++keyLength) {
        for (int i = 0; i < 10; ++i) {
            const Bytes key = random(keyLength);
            const Bytes data = random(random.between(0, 300));
            Bytes mac = mac_into_guarded(key, data, 20);
            mac.resize(20);
            ASSERT_EQ(mac, oracle::hmac_sha1(key, data)) << "key " << keyLength << " data "
                                                         << data.size();
        }
    }
}

// How many bytes each macLength writes, and that they are the MAC's prefix.
TEST(HmacSha1, MacLengthBounds) {
    const Bytes key = RandomBytes(1)(16), data = RandomBytes(2)(100);
    const Bytes expected = oracle::hmac_sha1(key, data);
    struct Case {
        int macLength;
        size_t written;
    } cases[] = {{-5, 0}, {0, 0}, {1, 1}, {12, 12}, {16, 16}, {20, 20}, {21, 20}, {1000, 20}};
    for (const auto& c : cases) {
        const Bytes out = mac_into_guarded(key, data, c.macLength);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + c.written, expected.begin()))
            << c.macLength;
        for (size_t i = c.written; i < out.size(); ++i)
            ASSERT_EQ(out[i], kGuard) << "macLength " << c.macLength << " wrote byte " << i;
    }
}

// Null inputs and negative lengths count as empty; a null mac is ignored.
TEST(HmacSha1, NullAndNegativeInputsAreEmpty) {
    const Bytes key = {1, 2, 3}, data = {4, 5, 6};
    const Bytes emptyKey = oracle::hmac_sha1({}, data);
    const Bytes emptyData = oracle::hmac_sha1(key, {});
    struct Case {
        const void* key;
        int keyLength;
        const void* data;
        int dataLength;
        const Bytes& expected;
    } cases[] = {
        {nullptr, 3, data.data(), 3, emptyKey},
        {key.data(), -1, data.data(), 3, emptyKey},
        {key.data(), 3, nullptr, 3, emptyData},
        {key.data(), 3, data.data(), -7, emptyData},
    };
    for (const auto& c : cases) {
        uint8_t mac[20];
        std::memset(mac, 0, sizeof mac);
        hmac_sha1(c.key, c.keyLength, c.data, c.dataLength, mac, 20);
        EXPECT_EQ(Bytes(mac, mac + 20), c.expected);
    }
    hmac_sha1(key.data(), 3, data.data(), 3, nullptr, 20);  // must not crash
}

}  // namespace
