// Seeds for the EAP-AKA' branches: conversations a server runs with the
// fuzz targets' subscriber, built here with the library's own primitives
// (the simulated network of the tool speaks EAP-AKA only), each with the
// setting EAP_COMPAT_AKA_PRIME and again with every flag:
//   eap_conversation/NAME[-all-flags]   the conversation input
//   aka_attributes/NAME-N               the attribute part of each request
// NAME is aka-prime-full (challenge with a re-authentication identity and
// result indication, success notification, fast re-authentication),
// aka-prime-kdf (an unknown KDF offered first, then the list with KDF 1 in
// front), aka-prime-resync (a stale SQN, then a fresh one) and
// aka-bidding-down (an EAP-AKA challenge with the D bit of AT_BIDDING).
// Each conversation is replayed and its results printed, so a seed that no
// longer authenticates (an AKA'-Challenge not answered with 17) shows.
//
// usage: fuzz_prime_seeds CORPUS_DIR
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "api/session.h"
#include "crypto/aes.h"
#include "crypto/fips186_prf.h"
#include "crypto/hmac_sha256.h"
#include "crypto/kdf_3gpp.h"
#include "crypto/milenage.h"
#include "crypto/prf_prime.h"
#include "crypto/sha1.h"
#include "fuzz/fuzz_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

// RFC 4187 and RFC 9048 numbers the requests below are made of.
enum : uint8_t {
    TYPE_IDENTITY = 1, TYPE_AKA = 23, TYPE_AKA_PRIME = 50,
    CHALLENGE = 1, NOTIFICATION = 12, REAUTHENTICATION = 13,
    AT_RAND = 1, AT_AUTN = 2, AT_PADDING = 6, AT_MAC = 11, AT_NOTIFICATION = 12, AT_COUNTER = 19,
    AT_NONCE_S = 21, AT_KDF_INPUT = 23, AT_KDF = 24, AT_IV = 129, AT_ENCR_DATA = 130, AT_NEXT_REAUTH_ID = 133,
    AT_RESULT_IND = 135, AT_BIDDING = 136
};
constexpr size_t MAC_SIZE = 16;
const char IDENTITY[] = "0001010123456789@eapaka.test";  // what the fuzz host answers
const char NETWORK_NAME[] = "WLAN";

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }
Bytes be16(unsigned v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
Bytes value16(uint8_t type, const uint8_t* value) { return cat({{type, 5, 0, 0}, Bytes(value, value + 16)}); }
// Actual length, the bytes, zero padding to a whole word.
Bytes with_length(uint8_t type, const Bytes& bytes) {
    Bytes a = cat({{type, static_cast<uint8_t>((4 + bytes.size() + 3) / 4)}, be16(bytes.size()), bytes});
    a.resize(a[1] * 4u, 0);
    return a;
}

class Server {
public:
    explicit Server(uint8_t type) : type_(type) {
        uint8_t store[EAPAKA_KEB_SIZE];
        fuzz_host_fill_subscriber(store);
        std::memcpy(k_, store + EAPAKA_KEB_K, sizeof k_);
        // The core's Milenage reads OPc and the constants from its record.
        std::memcpy(g_session.opc, store + EAPAKA_KEB_OPC, sizeof g_session.opc);
        std::memcpy(g_session.milenageC, store + EAPAKA_KEB_C1, sizeof g_session.milenageC);
        for (int i = 0; i < 5; ++i) {
            const uint8_t* r = store + EAPAKA_KEB_R1 + 4 * i;
            g_session.milenageR[i] = static_cast<int32_t>(r[0] | r[1] << 8 | r[2] << 16 | uint32_t(r[3]) << 24);
        }
    }

    Bytes eap_identity() { return {1, ++id_, 0, 5, TYPE_IDENTITY}; }
    Bytes eap_success() const { return {3, id_, 0, 4}; }
    Bytes eap_failure() const { return {4, id_, 0, 4}; }

    // AT_RAND, AT_AUTN (SEQ seq, IND 0), the encrypted attributes, then
    // AT_KDF... and AT_KDF_INPUT (EAP-AKA') or AT_BIDDING (EAP-AKA), then
    // AT_MAC.
    Bytes challenge(uint64_t seq, const Bytes& kdf, const Bytes& encrPlain, bool resultInd, int bidding = -1) {
        ++id_;
        uint8_t rand[16], autn[16], res[8], ck[16], ik[16], ak[6];
        for (int i = 0; i < 16; ++i) rand[i] = static_cast<uint8_t>(id_ * 29 + i * 11 + seq);
        uint8_t sqn[6];
        for (int i = 0; i < 6; ++i) sqn[i] = static_cast<uint8_t>((seq << 5) >> (8 * (5 - i)));
        const uint8_t amf[2] = {static_cast<uint8_t>(prime() ? 0x80 : 0x00), 0x00};
        milenage_f2345(k_, rand, res, ck, ik, ak);
        for (int i = 0; i < 6; ++i) autn[i] = sqn[i] ^ ak[i];
        std::memcpy(autn + 6, amf, 2);
        milenage_f1(k_, rand, sqn, amf, autn + 8);
        derive_keys(ck, ik, autn);

        Bytes attrs = cat({value16(AT_RAND, rand), value16(AT_AUTN, autn), encrypted(encrPlain)});
        if (resultInd) attrs = cat({attrs, {AT_RESULT_IND, 1, 0, 0}});
        for (uint8_t value : kdf) attrs = cat({attrs, {AT_KDF, 1, 0, value}});
        if (prime()) attrs = cat({attrs, with_length(AT_KDF_INPUT, text(NETWORK_NAME))});
        if (bidding >= 0) attrs = cat({attrs, {AT_BIDDING, 1}, be16(static_cast<unsigned>(bidding))});
        return sealed(CHALLENGE, attrs);
    }

    Bytes success_notification() {
        ++id_;
        return sealed(NOTIFICATION, {AT_NOTIFICATION, 1, 0x80, 0x00});
    }

    Bytes reauthentication(uint16_t counter) {
        ++id_;
        uint8_t nonce[16];
        std::memset(nonce, 0xA5, sizeof nonce);
        return sealed(REAUTHENTICATION, encrypted(cat({{AT_COUNTER, 1}, be16(counter), value16(AT_NONCE_S, nonce)})));
    }

private:
    bool prime() const { return type_ == TYPE_AKA_PRIME; }

    // RFC 9048 section 3.3 or RFC 4187 section 7 for the identity the fuzz
    // host gives.
    void derive_keys(const uint8_t ck[16], const uint8_t ik[16], const uint8_t autn[16]) {
        const Bytes identity = text(IDENTITY);
        if (prime()) {
            uint8_t key[32], mk[208];
            kdf_ck_ik_prime(ck, ik, reinterpret_cast<const uint8_t*>(NETWORK_NAME), std::strlen(NETWORK_NAME), autn,
                            key + 16, key);
            const char label[] = "EAP-AKA'";
            const ByteSpan input[] = {{reinterpret_cast<const uint8_t*>(label), 8}, {identity.data(), identity.size()}};
            prf_prime(key, sizeof key, input, 2, mk, sizeof mk);
            std::memcpy(kEncr_, mk, 16);
            std::memcpy(kAut_, mk + 16, 32);
            kAutLength_ = 32;
            return;
        }
        uint8_t mk[20], x[160];
        Sha1Context context;
        sha1_reset(&context);
        sha1_input(&context, identity.data(), static_cast<unsigned>(identity.size()));
        sha1_input(&context, ik, 16);
        sha1_input(&context, ck, 16);
        sha1_result(&context, mk);
        fips186_prf(mk, x);
        std::memcpy(kEncr_, x, 16);
        std::memcpy(kAut_, x + 16, 16);
        kAutLength_ = 16;
    }

    // AT_IV and AT_ENCR_DATA holding `plain`, padded to whole AES blocks.
    Bytes encrypted(Bytes plain) const {
        if (plain.empty()) return {};
        const size_t pad = (16 - plain.size() % 16) % 16;
        if (pad != 0) plain = cat({plain, {AT_PADDING, static_cast<uint8_t>(pad / 4)}, Bytes(pad - 2, 0)});
        uint8_t iv[16];
        std::memset(iv, 0x3C, sizeof iv);
        aes_cbc_encrypt(kEncr_, iv, plain.data(), static_cast<unsigned>(plain.size()));
        return cat({value16(AT_IV, iv), {AT_ENCR_DATA, static_cast<uint8_t>(1 + plain.size() / 4), 0, 0}, plain});
    }

    // The request with AT_MAC last, MACed as RFC 4187 10.15 / RFC 9048 3.3 say.
    Bytes sealed(uint8_t subtype, const Bytes& attrs) const {
        Bytes p = cat({{1, id_}, be16(8 + attrs.size() + 20), {type_, subtype, 0, 0}, attrs, {AT_MAC, 5, 0, 0},
                       Bytes(MAC_SIZE, 0)});
        uint8_t mac[32];
        if (prime())
            hmac_sha256(kAut_, kAutLength_, p.data(), p.size(), mac);
        else
            hmac_sha1(kAut_, static_cast<int>(kAutLength_), p.data(), static_cast<int>(p.size()), mac, MAC_SIZE);
        std::memcpy(p.data() + p.size() - MAC_SIZE, mac, MAC_SIZE);
        return p;
    }

    uint8_t type_;
    uint8_t id_ = 0;
    uint8_t k_[16];
    uint8_t kEncr_[16] = {};
    uint8_t kAut_[32] = {};
    size_t kAutLength_ = 16;
};

struct Conversation {
    std::string name;
    std::vector<Bytes> packets;
};

std::vector<Conversation> conversations() {
    std::vector<Conversation> all;
    {
        Server s(TYPE_AKA_PRIME);
        Conversation c{"aka-prime-full", {s.eap_identity()}};
        c.packets.push_back(s.challenge(1, {1}, with_length(AT_NEXT_REAUTH_ID, text("8reauth@eapaka.test")), true));
        c.packets.push_back(s.success_notification());
        c.packets.push_back(s.eap_success());
        c.packets.push_back(s.eap_identity());
        c.packets.push_back(s.reauthentication(1));
        c.packets.push_back(s.eap_success());
        all.push_back(c);
    }
    {
        Server s(TYPE_AKA_PRIME);
        Conversation c{"aka-prime-kdf", {s.eap_identity()}};
        c.packets.push_back(s.challenge(1, {2, 1}, {}, false));
        c.packets.push_back(s.challenge(1, {1, 2, 1}, {}, false));
        c.packets.push_back(s.eap_success());
        all.push_back(c);
    }
    {
        Server s(TYPE_AKA_PRIME);
        Conversation c{"aka-prime-resync", {s.eap_identity()}};
        c.packets.push_back(s.challenge(0, {1, 2}, {}, false));  // SEQ 0 is never fresh
        c.packets.push_back(s.challenge(1, {1, 2}, {}, false));
        c.packets.push_back(s.eap_success());
        all.push_back(c);
    }
    {
        Server s(TYPE_AKA);
        Conversation c{"aka-bidding-down", {s.eap_identity()}};
        c.packets.push_back(s.challenge(1, {}, {}, false, 0x8000));
        c.packets.push_back(s.eap_failure());
        all.push_back(c);
    }
    return all;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_prime_seeds CORPUS_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (const Conversation& c : conversations()) {
        Bytes records;
        for (const Bytes& p : c.packets) records = cat({records, be16(p.size()), p});
        ok &= fuzz_write_seed(dir + "/eap_conversation/" + c.name, cat({fuzz_compatibility_record(EAP_COMPAT_AKA_PRIME), records}));
        ok &= fuzz_write_seed(dir + "/eap_conversation/" + c.name + "-all-flags",
                         cat({fuzz_compatibility_record(EAP_COMPAT_RFC4187 | EAP_COMPAT_AKA_PRIME), records}));

        fuzz_host_start();
        EAP_SetCompatibility(EAP_COMPAT_AKA_PRIME);
        std::printf("%s:", c.name.c_str());
        for (size_t i = 0; i < c.packets.size(); ++i) {
            const Bytes& p = c.packets[i];
            const int result = fuzz_host_feed(p.data(), p.size());
            if (p[0] == 1 && p[4] != TYPE_IDENTITY) {
                std::printf(" %s/%u->%d", p[4] == TYPE_AKA_PRIME ? "aka'" : "aka", p[5], result);
                ok &= fuzz_write_seed(dir + "/aka_attributes/" + c.name + "-" + std::to_string(i),
                                 Bytes(p.begin() + 8, p.end()));
            } else {
                std::printf(" eap/%u->%d", p[0], result);
            }
        }
        std::printf("\n");
    }
    return ok ? 0 : 1;
}
