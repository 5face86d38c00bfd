// Identities the peer presents (RFC 4187 section 4.1): the permanent
// identity (user part from the key store plus the realm), a pseudonym the
// server handed out earlier (plus the realm), or a fast re-authentication
// identity, sent as received. Whatever goes out last is kept in
// g_session.identity, since a full authentication's MK is derived from it.
#include <cstring>

#include "aka/aka.h"
#include "api/session.h"
#include "diag/message_log.h"
#include "keystore/keystore.h"

namespace {

// A stored pseudonym is in use only when it starts with this byte ("G");
// anything else stands for "no pseudonym held".
constexpr uint8_t PSEUDONYM_MARKER = 0x47;

constexpr int SELECT_PERMANENT = 0;
constexpr int SELECT_PSEUDONYM = 1;

constexpr unsigned AT_IDENTITY_HEADER_SIZE = 4;
// AT_IDENTITY for the longest identity held: 4 header bytes, 64 bytes and
// no padding.
constexpr uint8_t AT_IDENTITY_MAX_WORDS = (AT_IDENTITY_HEADER_SIZE + IDENTITY_MAX) / 4;

// The realm field always ends in a NUL (EAP_Init), but the scan is bounded
// all the same.
size_t realm_length() {
    size_t length = 0;
    while (length < sizeof g_session.realm - 1 && g_session.realm[length] != 0) ++length;
    return length;
}

// The user part length the host gave EAP_Init, held to what the store's
// permanentId field can supply.
size_t permanent_user_part_length() {
    const int32_t length = g_session.permanentIdLength;
    if (length < 0) return 0;
    if (length > static_cast<int32_t>(PERMANENT_ID_SIZE)) return PERMANENT_ID_SIZE;
    return static_cast<size_t>(length);
}

// identity buffer: byte 0 the length, then the bytes. Both parts are
// bounded (16 + 15 and 23 + 15 bytes, with long realms 23 + 128), so the
// result always fits 64 bytes (151 with long realms).
void compose_identity(uint8_t* identityBuffer, const uint8_t* userPart, size_t userLength) {
    const size_t realmLength = realm_length();
    static_assert(PSEUDONYM_SIZE + REALM_SIZE - 1 <= IDENTITY_MAX, "identity fits its field");
    static_assert(PSEUDONYM_SIZE + REALM_MAX_LONG <= IDENTITY_MAX_LONG &&
                      IDENTITY_MAX_LONG <= UINT8_MAX,
                  "a long-realm identity fits its field and its length byte");
    std::memcpy(identityBuffer + 1, userPart, userLength);
    std::memcpy(identityBuffer + 1 + userLength, g_session.realm, realmLength);
    identityBuffer[0] = static_cast<uint8_t>(userLength + realmLength);
}

void compose_permanent_identity(uint8_t* identityBuffer) {
    uint8_t permanentId[PERMANENT_ID_SIZE];
    keystore_load_permanent_id(permanentId);
    compose_identity(identityBuffer, permanentId, permanent_user_part_length());
    g_session.identityKind = IDENTITY_KIND_PERMANENT;
}

void log_loaded_pseudonym(const uint8_t* p) {
    msglog_line("GetPseudonymID : %x %x %x %x %x %x %x %x %x %x\n"
                "\t\t%x %x %x %x %x %x %x %x %x %x\n\t\t %x %x %x\n",
                p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12],
                p[13], p[14], p[15], p[16], p[17], p[18], p[19], p[20], p[21], p[22]);
}

// Bytes of the stored pseudonym that form it; 0 when none is held. By
// default a pseudonym is held only when it starts with "G" and is always all
// 23 bytes; an opaque one (RFC 4187 section 4.1.1.7) ends at its first zero
// byte, and a field that starts with one holds none.
size_t held_pseudonym_length(const uint8_t pseudonym[PSEUDONYM_SIZE]) {
    if (!aka_compat(EAP_COMPAT_OPAQUE_PSEUDONYM)) return pseudonym[0] == PSEUDONYM_MARKER ? PSEUDONYM_SIZE : 0;
    const void* end = std::memchr(pseudonym, 0, PSEUDONYM_SIZE);
    return end == nullptr ? PSEUDONYM_SIZE : static_cast<size_t>(static_cast<const uint8_t*>(end) - pseudonym);
}

// AT_IDENTITY Length in words: the header and the identity, padded to a
// whole word (RFC 4187 section 10.12).
uint8_t at_identity_words(size_t identityLength) {
    return static_cast<uint8_t>((AT_IDENTITY_HEADER_SIZE + identityLength + 3) / 4);
}

}  // namespace

// selector 0: the permanent identity; selector 1: the pseudonym identity when
// a pseudonym is held, else the permanent identity. Fills the identity
// buffer (length, then bytes) and records which kind was built.
// Any other selector leaves both untouched.
void GetPseudonymID(uint8_t* identityBuffer, int selector) {
    msglog_line("=====> IND : %d", selector);
    if (selector == SELECT_PERMANENT) {
        compose_permanent_identity(identityBuffer);
        return;
    }
    if (selector != SELECT_PSEUDONYM) return;

    uint8_t pseudonym[PSEUDONYM_SIZE];
    keystore_load_pseudonym(pseudonym);
    log_loaded_pseudonym(pseudonym);
    const size_t pseudonymLength = held_pseudonym_length(pseudonym);
    if (pseudonymLength != 0) {
        compose_identity(identityBuffer, pseudonym, pseudonymLength);
        g_session.identityKind = IDENTITY_KIND_PSEUDONYM;
    } else {
        compose_permanent_identity(identityBuffer);
    }
}

// The store keeps 23 bytes and no length. By default they are the first 23
// bytes of the field the pseudonym was copied into, whatever its length. An
// opaque pseudonym is stored zero-filled after its end, so that it reads
// back whole; one that would not (empty, longer than 23 bytes or holding a
// zero byte) clears the field instead, so that the permanent identity is
// used rather than a name the server no longer knows.
void aka_store_next_pseudonym() {
    const AkaSession& s = g_session;
    if (!aka_compat(EAP_COMPAT_OPAQUE_PSEUDONYM)) {
        keystore_store_pseudonym(s.nextPseudonym);
        return;
    }
    uint8_t field[PSEUDONYM_SIZE] = {};
    const size_t length = s.nextPseudonymLength;
    if (length <= PSEUDONYM_SIZE && std::memchr(s.nextPseudonym, 0, length) == nullptr)
        std::memcpy(field, s.nextPseudonym, length);
    keystore_store_pseudonym(field);
}

// AKA-Identity response (RFC 4187 section 9.2): Subtype 5, then AT_IDENTITY
// with the identity of the requested kind. A fast re-authentication identity
// keeps the attribute Length it arrived with in AT_NEXT_REAUTH_ID, unless
// that Length cannot hold it (then the minimal Length is used).
void makeRSP_Identity(int kind, uint8_t* payload, uint16_t* words) {
    uint8_t composed[1 + IDENTITY_MAX_LONG] = {};
    const uint8_t* identity;
    size_t length;
    uint8_t attributeWords;
    if (kind == IDENTITY_REAUTH) {
        identity = g_session.reauthId;
        length = g_session.reauthIdLength <= IDENTITY_MAX ? g_session.reauthIdLength : IDENTITY_MAX;
        attributeWords = g_session.reauthIdLengthWords;
        if (attributeWords < at_identity_words(length) || attributeWords > AT_IDENTITY_MAX_WORDS)
            attributeWords = at_identity_words(length);
    } else {
        GetPseudonymID(composed, kind == IDENTITY_PSEUDONYM ? SELECT_PSEUDONYM : SELECT_PERMANENT);
        identity = composed + 1;
        length = composed[0];
        attributeWords = at_identity_words(length);
    }

    std::memmove(g_session.identity, identity, length);
    g_session.identityLength = static_cast<uint16_t>(length);

    payload[0] = AKA_SUBTYPE_IDENTITY;
    payload[1] = 0;
    payload[2] = 0;
    uint8_t* attribute = payload + 3;
    const size_t attributeSize = 4u * attributeWords;
    std::memset(attribute, 0, attributeSize);
    attribute[0] = AT_IDENTITY;
    attribute[1] = attributeWords;
    attribute[2] = static_cast<uint8_t>(length >> 8);
    attribute[3] = static_cast<uint8_t>(length & 0xFF);
    std::memcpy(attribute + AT_IDENTITY_HEADER_SIZE, identity, length);
    *words = attributeWords;
}
