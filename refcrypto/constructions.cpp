// The constructions over the primitives (FIPS 186-2 PRF, Milenage),
// shared by every crypto back-end.
#include "refcrypto/refcrypto.h"

namespace refcrypto {
namespace {

Bytes xor_bytes(const Bytes& a, const Bytes& b) {
    Bytes out(a.size());
    for (size_t i = 0; i < a.size(); ++i) out[i] = a[i] ^ b[i];
    return out;
}

// (a + b) mod 2^160 on big-endian 20-byte integers.
Bytes add160(const Bytes& a, const Bytes& b) {
    Bytes out(20);
    unsigned carry = 0;
    for (int i = 19; i >= 0; --i) {
        unsigned sum = a[i] + b[i] + carry;
        out[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
    return out;
}

}  // namespace

Bytes fips186_prf(const Bytes& xkey20) {
    if (xkey20.size() != 20) return {};
    Bytes one(20, 0);
    one[19] = 1;
    const Bytes xseed(20, 0);
    Bytes xkey = xkey20;
    Bytes out;
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 2; ++i) {
            Bytes w = sha1_g(add160(xkey, xseed));
            xkey = add160(one, add160(xkey, w));
            out.insert(out.end(), w.begin(), w.end());
        }
    }
    return out;
}

Bytes prf_prime(const Bytes& key, const Bytes& s, size_t length) {
    Bytes out, t;
    for (uint8_t n = 1; out.size() < length; ++n) {
        Bytes input = t;
        input.insert(input.end(), s.begin(), s.end());
        input.push_back(n);
        t = hmac_sha256(key, input);
        out.insert(out.end(), t.begin(), t.end());
    }
    out.resize(length);
    return out;
}

Bytes kdf_3gpp(const Bytes& key, uint8_t fc, const std::vector<Bytes>& parameters) {
    Bytes s = {fc};
    for (const Bytes& p : parameters) {
        s.insert(s.end(), p.begin(), p.end());
        s.push_back(static_cast<uint8_t>(p.size() >> 8));
        s.push_back(static_cast<uint8_t>(p.size()));
    }
    return hmac_sha256(key, s);
}

MilenageParams milenage_standard() {
    MilenageParams p;
    const uint8_t lastByte[5] = {0, 1, 2, 4, 8};
    const int32_t r[5] = {64, 0, 32, 64, 96};
    for (int i = 0; i < 5; ++i) {
        p.c[i] = Bytes(16, 0);
        p.c[i][15] = lastByte[i];
        p.r[i] = r[i];
    }
    return p;
}

Bytes rotate128(const Bytes& x16, int32_t r) {
    Bytes out(16, 0);
    const int shift = static_cast<int>(((r % 128) + 128) % 128);
    for (int bit = 0; bit < 128; ++bit) {
        const int from = (bit + shift) % 128;  // bit 0 is the MSB of byte 0
        const int value = (x16[from / 8] >> (7 - from % 8)) & 1;
        out[bit / 8] |= static_cast<uint8_t>(value << (7 - bit % 8));
    }
    return out;
}

Bytes milenage_opc(const Bytes& k, const Bytes& op) {
    return xor_bytes(aes_ecb_encrypt(k, op), op);
}

MilenageOut milenage(const Bytes& k, const Bytes& opc, const Bytes& rand, const Bytes& sqn6,
                     const Bytes& amf2, const MilenageParams& p) {
    auto ek = [&](const Bytes& x) { return aes_ecb_encrypt(k, x); };
    const Bytes temp = ek(xor_bytes(rand, opc));

    Bytes in1;
    for (int half = 0; half < 2; ++half) {
        in1.insert(in1.end(), sqn6.begin(), sqn6.end());
        in1.insert(in1.end(), amf2.begin(), amf2.end());
    }
    // OUT1 = E_K(TEMP xor rot(IN1 xor OPc, r1) xor c1) xor OPc
    const Bytes out1 =
        xor_bytes(ek(xor_bytes(xor_bytes(temp, rotate128(xor_bytes(in1, opc), p.r[0])), p.c[0])),
                  opc);
    // OUTn = E_K(rot(TEMP xor OPc, rn) xor cn) xor OPc, n = 2..5
    Bytes outn[5];
    for (int n = 1; n < 5; ++n)
        outn[n] = xor_bytes(ek(xor_bytes(rotate128(xor_bytes(temp, opc), p.r[n]), p.c[n])), opc);

    MilenageOut o;
    o.macA.assign(out1.begin(), out1.begin() + 8);
    o.macS.assign(out1.begin() + 8, out1.end());
    o.res.assign(outn[1].begin() + 8, outn[1].end());
    o.ak.assign(outn[1].begin(), outn[1].begin() + 6);
    o.ck = outn[2];
    o.ik = outn[3];
    o.akStar.assign(outn[4].begin(), outn[4].begin() + 6);
    return o;
}

}  // namespace refcrypto
