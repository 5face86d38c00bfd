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
//   seq_ms <index 0..31> <SEQ_MS>        peer profile only (decimal)
//   seq_he <SEQ> / next_ind <IND>        network record only
//
// '#' starts a comment line. Every save writes a temporary file, flushes it
// to disk and renames it over the old one, so a crash leaves either the old
// or the new profile, never a mix.
#ifndef EAPAKA_TOOLS_KEYSTORE_FILE_H
#define EAPAKA_TOOLS_KEYSTORE_FILE_H

#include <cstdint>
#include <string>

#include "tools/bytes.h"
#include "tools/simnet/auc.h"

namespace tool {

constexpr size_t PROFILE_ID_MAX = 16;
constexpr size_t PROFILE_PSEUDONYM_SIZE = 23;
constexpr size_t PROFILE_SEQ_ENTRIES = 32;
constexpr size_t PROFILE_SEQ_SIZE = 6;
constexpr uint64_t PROFILE_SEQ_LIMIT = uint64_t{1} << 43;  // SEQ is 43 bits (TS 33.102 C.1)

enum class ProfileKind { Peer, Network };

struct SubscriberProfile {
    std::string permanentId;
    MilenageKeys main{};
    MilenageKeys alt{};
    MilenageParams milenage = refcrypto::milenage_standard();
    uint8_t pseudonym[PROFILE_PSEUDONYM_SIZE] = {};
    uint64_t seqMs[PROFILE_SEQ_ENTRIES] = {};   // peer
    uint64_t seqHe = 0;                          // network
    unsigned nextInd = 0;                        // network

    // TS 35.208 test set 1 as the main key set, set 3 as the alternate one,
    // standard Milenage constants, IMSI 001010123456789.
    static SubscriberProfile defaults();

    bool has_pseudonym() const { return pseudonym[0] == 'G'; }
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

// Reads a profile. On failure `error` reads "FILE:LINE: what is wrong"
// (or "FILE: ..." for a missing file) and `profile` is unchanged.
bool profile_load(const std::string& path, ProfileKind kind, SubscriberProfile& profile,
                  std::string& error);
std::string profile_format(const SubscriberProfile& profile, ProfileKind kind);
// The peer's profile in words, for a person: identity, key sets (abbreviated),
// Milenage constants, pseudonym, and a summary of the SEQ array.
std::string profile_describe(const SubscriberProfile& profile);
// Crash-safe replacement of `path` (temporary file, fsync, rename, fsync of
// the directory); the file is created readable by its owner only.
bool profile_save(const std::string& path, const SubscriberProfile& profile, ProfileKind kind,
                  std::string& error);

// Test hook: runs between the flush of the temporary file and the rename.
void profile_set_crash_hook(void (*hook)());

}  // namespace tool

#endif
