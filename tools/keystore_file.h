// The subscriber profile: the host side of the key store, kept in a readable
// text file, one subscriber per file. The same format, with the network's
// own sequence counter instead of the SEQ_MS array, holds the simulated
// operator's subscriber record.
//
//   permanent_id 0001010123456789        user part of the permanent identity
//   k / opc / k_alt / opc_alt <32 hex>   the two Milenage key sets
//   c1 .. c5 <32 hex>                    Milenage constants
//   r <r1> <r2> <r3> <r4> <r5>           Milenage rotations in bits
//   pseudonym none | <text> | hex:<46 hex>
//   realm @<realm>                       peer profile only: handed to EAP_Init
//   seq_ms <index 0..31> <SEQ_MS>        peer profile only (decimal), all 32
//   seq_he <SEQ> / next_ind <IND>        network record only
//
// '#' starts a comment line; every field is required, so that a cut or
// hand-edited file is refused rather than read with an SQN array that lost
// entries (and with them replay protection). Every save writes a temporary
// file of its own, flushes it to disk and renames it over the old one, so a
// crash leaves either the old or the new profile, never a mix. A profile
// that is a symbolic link is written through to the file it names.
#ifndef EAPAKA_TOOLS_KEYSTORE_FILE_H
#define EAPAKA_TOOLS_KEYSTORE_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/bytes.h"
#include "tools/simnet/auc.h"

namespace tool {

constexpr size_t PROFILE_ID_MAX = 16;
constexpr size_t PROFILE_PSEUDONYM_SIZE = 23;
constexpr size_t PROFILE_SEQ_ENTRIES = 32;
constexpr size_t PROFILE_SEQ_SIZE = 6;
constexpr uint64_t PROFILE_SEQ_LIMIT = uint64_t{1} << 43;  // SEQ is 43 bits (TS 33.102 C.1)
// The longest realm the library keeps (with EAP_COMPAT_LONG_REALM), "@" included.
constexpr size_t PROFILE_REALM_MAX = 128;
constexpr const char* PROFILE_DEFAULT_REALM = "@eapaka.test";

enum class ProfileKind { Peer, Network };

struct SubscriberProfile {
    std::string permanentId;
    MilenageKeys main{};
    MilenageKeys alt{};
    MilenageParams milenage = refcrypto::milenage_standard();
    uint8_t pseudonym[PROFILE_PSEUDONYM_SIZE] = {};
    std::string realm = PROFILE_DEFAULT_REALM;  // peer
    uint64_t seqMs[PROFILE_SEQ_ENTRIES] = {};   // peer
    uint64_t seqHe = 0;                          // network
    unsigned nextInd = 0;                        // network

    // TS 35.208 test set 1 as the main key set, set 3 as the alternate one,
    // standard Milenage constants, IMSI 001010123456789, realm @eapaka.test.
    static SubscriberProfile defaults();

    // A pseudonym is held when the field does not start with a zero byte.
    // The library uses it by default only when it starts with "G", with
    // EAP_COMPAT_OPAQUE_PSEUDONYM whatever it starts with.
    bool has_pseudonym() const { return pseudonym[0] != 0; }
    std::string pseudonym_text() const;   // the 23 bytes up to the first NUL

    // Drops what earlier authentications left behind, pseudonym and SEQ
    // array, and keeps the identity, keys and constants.
    void forget_state();

    // Fills the 395-byte key exchange buffer for a load request.
    void to_buffer(uint8_t* buffer) const;
    // Takes the fields a store request names back from the buffer.
    void take_pseudonym(const uint8_t* buffer);
    void take_seqms(const uint8_t* buffer);
};

// ~/.eapaka/subscriber.profile, or ./.eapaka/... without a home directory.
std::string profile_default_path();

// A realm as the library expects it: "@" added when it was left out.
std::string realm_with_at(const std::string& realm);
// A realm a profile can hold: "@" and 1 to 127 printable characters other
// than spaces and "@".
bool realm_valid(const std::string& realm);

// The realm of 3GPP TS 23.003 section 19.3.2 for an IMSI whose MNC has
// `mncDigits` (2 or 3) digits: "@wlan.mnc<MNC>.mcc<MCC>.3gppnetwork.org",
// the MNC padded to three digits with a leading zero.
std::string realm_3gpp(const std::string& imsi, unsigned mncDigits);

// The leading digit of a permanent identity names the method it is for:
// "0" + IMSI for EAP-AKA (RFC 4187 section 4.1.1.6), "6" + IMSI for
// EAP-AKA' (RFC 9048 section 3).
constexpr char AKA_PERMANENT_PREFIX = '0';
constexpr char AKA_PRIME_PERMANENT_PREFIX = '6';
// The IMSI behind such an identity; empty for any other.
std::string imsi_of_identity(const std::string& permanentId);

// True when nothing at all stands at `path`: not a file, not even a
// symbolic link whose target is missing.
bool profile_absent(const std::string& path);

// An exclusive lock on a profile, held for a whole run so that processes
// sharing the profile take turns: each loads what the one before it saved,
// and SEQ_MS never goes back. It is a lock file beside the file the path
// names ("<profile>.lock", through a symbolic link: beside its target),
// created 0600 and kept. Once it is held, temporary files that a save
// killed before its rename left beside the profile are removed. The lock
// ends with the object (or the process).
class ProfileLock {
public:
    ProfileLock() = default;
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;
    ~ProfileLock();

    // Waits until the lock is free, saying so once on `notices` (when not
    // null) if another process holds it. False with `error` when the lock
    // file cannot be opened (a directory as the profile, a dangling
    // symbolic link, no such directory).
    bool acquire(const std::string& path, std::string& error, std::FILE* notices = nullptr);

private:
    int fd_ = -1;
};

// Reads a profile. On failure `error` reads "FILE:LINE: what is wrong"
// (or "FILE: ..." for a missing file) and `profile` is unchanged.
bool profile_load(const std::string& path, ProfileKind kind, SubscriberProfile& profile,
                  std::string& error);
std::string profile_format(const SubscriberProfile& profile, ProfileKind kind);
// The peer's profile in words, for a person: identity, key sets (abbreviated),
// Milenage constants, pseudonym, and a summary of the SEQ array.
std::string profile_describe(const SubscriberProfile& profile);
// Crash-safe replacement of `path` (a temporary file with a name of its own,
// fsync, rename, fsync of the directory); the file is created readable by
// its owner only. A symbolic link is written through: its target is
// replaced and the link stays. A link whose target is missing is an error,
// never replaced by a new file.
bool profile_save(const std::string& path, const SubscriberProfile& profile, ProfileKind kind,
                  std::string& error);

// Test hook: runs between the flush of the temporary file and the rename.
void profile_set_crash_hook(void (*hook)());

}  // namespace tool

#endif
