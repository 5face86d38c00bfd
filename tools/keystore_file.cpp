#include "tools/keystore_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "eapaka/eapaka.h"

namespace tool {

namespace {

void (*g_crash_hook)() = nullptr;

const char* const KEY_NAMES[] = {"k", "opc", "k_alt", "opc_alt"};
const char* const CONSTANT_NAMES[] = {"c1", "c2", "c3", "c4", "c5"};

uint8_t* key_field(SubscriberProfile& p, int i) {
    switch (i) {
    case 0: return p.main.k;
    case 1: return p.main.opc;
    case 2: return p.alt.k;
    default: return p.alt.opc;
    }
}

const uint8_t* key_field(const SubscriberProfile& p, int i) {
    return key_field(const_cast<SubscriberProfile&>(p), i);
}

bool parse_hex16(const std::string& text, uint8_t out[16]) {
    Bytes bytes;
    if (!from_hex(text, bytes) || bytes.size() != 16) return false;
    std::memcpy(out, bytes.data(), 16);
    return true;
}

bool parse_uint(const std::string& text, uint64_t limit, uint64_t& out) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (limit - digit) / 10) return false;  // value * 10 + digit > limit
        value = value * 10 + digit;
    }
    out = value;
    return true;
}

bool parse_int32(const std::string& text, int32_t& out) {
    bool negative = !text.empty() && text[0] == '-';
    uint64_t magnitude = 0;
    if (!parse_uint(negative ? text.substr(1) : text, negative ? 2147483648u : 2147483647u,
                    magnitude)) {
        return false;
    }
    out = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude)
                                        : static_cast<int64_t>(magnitude));
    return true;
}

bool parse_pseudonym(const std::string& text, uint8_t out[PROFILE_PSEUDONYM_SIZE]) {
    uint8_t value[PROFILE_PSEUDONYM_SIZE] = {};
    if (text == "none") {
        // all zero
    } else if (text.rfind("hex:", 0) == 0) {
        Bytes bytes;
        if (!from_hex(text.substr(4), bytes) || bytes.size() != PROFILE_PSEUDONYM_SIZE) {
            return false;
        }
        std::memcpy(value, bytes.data(), PROFILE_PSEUDONYM_SIZE);
    } else {
        if (text.size() > PROFILE_PSEUDONYM_SIZE) return false;
        std::memcpy(value, text.data(), text.size());
    }
    std::memcpy(out, value, PROFILE_PSEUDONYM_SIZE);
    return true;
}

std::string format_pseudonym(const uint8_t p[PROFILE_PSEUDONYM_SIZE]) {
    size_t textLength = 0;
    while (textLength < PROFILE_PSEUDONYM_SIZE && p[textLength] > 0x20 && p[textLength] < 0x7F) {
        ++textLength;
    }
    bool restZero = true;
    for (size_t i = textLength; i < PROFILE_PSEUDONYM_SIZE; ++i) restZero &= p[i] == 0;
    if (restZero) {
        // "none" and "hex:..." are spellings of the format itself.
        std::string text(reinterpret_cast<const char*>(p), textLength);
        if (textLength == 0) return "none";
        if (text != "none" && text.rfind("hex:", 0) != 0) return text;
    }
    return "hex:" + to_hex(p, PROFILE_PSEUDONYM_SIZE);
}

bool fail(std::string& error, const std::string& path, int line, const std::string& what) {
    error = path + ":" + std::to_string(line) + ": " + what;
    return false;
}

bool is_symbolic_link(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool is_directory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string dangling_link_error(const std::string& path) {
    char target[PATH_MAX] = {};
    ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return path + ": a symbolic link to '" + std::string(target, n > 0 ? static_cast<size_t>(n) : 0) +
           "', which does not exist; it is neither read nor replaced by a new profile";
}

// The file that a save replaces and that the lock file stands beside:
// `path` itself, or the file a symbolic link at `path` resolves to. False
// for a link whose target is missing.
bool resolve_target(const std::string& path, std::string& target, std::string& error) {
    if (!is_symbolic_link(path)) {
        target = path;
        return true;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        error = dangling_link_error(path);
        return false;
    }
    target = resolved;
    return true;
}

}  // namespace

SubscriberProfile SubscriberProfile::defaults() {
    SubscriberProfile p;
    p.permanentId = "0001010123456789";  // '0' + IMSI: EAP-AKA permanent identity (RFC 4187 4.1.1.6)
    parse_hex16("465b5ce8b199b49faa5f0a2ee238a6bc", p.main.k);
    parse_hex16("cd63cb71954a9f4e48a5994e37a02baf", p.main.opc);
    parse_hex16("fec86ba6eb707ed08905757b1bb44b8f", p.alt.k);
    parse_hex16("1006020f0a478bf6b699f15c062e42b3", p.alt.opc);
    return p;
}

std::string SubscriberProfile::pseudonym_text() const {
    size_t n = 0;
    while (n < PROFILE_PSEUDONYM_SIZE && pseudonym[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(pseudonym), n);
}

void SubscriberProfile::forget_state() {
    std::memset(pseudonym, 0, sizeof pseudonym);
    std::memset(seqMs, 0, sizeof seqMs);
}

void SubscriberProfile::to_buffer(uint8_t* buffer) const {
    std::memset(buffer, 0, EAPAKA_KEB_SIZE);
    std::memcpy(buffer + EAPAKA_KEB_PERMANENT_ID, permanentId.data(),
                std::min(permanentId.size(), PROFILE_ID_MAX));
    std::memcpy(buffer + EAPAKA_KEB_K, main.k, 16);
    std::memcpy(buffer + EAPAKA_KEB_OPC, main.opc, 16);
    std::memcpy(buffer + EAPAKA_KEB_K_ALT, alt.k, 16);
    std::memcpy(buffer + EAPAKA_KEB_OPC_ALT, alt.opc, 16);
    for (int i = 0; i < 5; ++i) {
        std::memcpy(buffer + EAPAKA_KEB_C1 + 16 * i, milenage.c[i].data(), 16);
        uint32_t r = static_cast<uint32_t>(milenage.r[i]);
        for (int b = 0; b < 4; ++b) {
            buffer[EAPAKA_KEB_R1 + 4 * i + b] = static_cast<uint8_t>(r >> (8 * b));  // little-endian
        }
    }
    std::memcpy(buffer + EAPAKA_KEB_PSEUDONYM, pseudonym, PROFILE_PSEUDONYM_SIZE);
    for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) {
        for (size_t b = 0; b < PROFILE_SEQ_SIZE; ++b) {
            buffer[EAPAKA_KEB_SEQMS + PROFILE_SEQ_SIZE * i + b] =
                static_cast<uint8_t>(seqMs[i] >> (8 * (PROFILE_SEQ_SIZE - 1 - b)));
        }
    }
}

void SubscriberProfile::take_pseudonym(const uint8_t* buffer) {
    std::memcpy(pseudonym, buffer + EAPAKA_KEB_PSEUDONYM, PROFILE_PSEUDONYM_SIZE);
}

void SubscriberProfile::take_seqms(const uint8_t* buffer) {
    for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) {
        uint64_t value = 0;
        for (size_t b = 0; b < PROFILE_SEQ_SIZE; ++b) {
            value = value << 8 | buffer[EAPAKA_KEB_SEQMS + PROFILE_SEQ_SIZE * i + b];
        }
        // The peer reads only the low 43 bits of an entry (TS 33.102 C.1).
        seqMs[i] = value & (PROFILE_SEQ_LIMIT - 1);
    }
}

std::string realm_with_at(const std::string& realm) {
    return realm.empty() || realm[0] == '@' ? realm : "@" + realm;
}

bool realm_valid(const std::string& realm) {
    if (realm.size() < 2 || realm.size() > PROFILE_REALM_MAX || realm[0] != '@') return false;
    for (size_t i = 1; i < realm.size(); ++i) {
        if (realm[i] <= 0x20 || realm[i] >= 0x7F || realm[i] == '@') return false;
    }
    return true;
}

std::string realm_3gpp(const std::string& imsi, unsigned mncDigits) {
    constexpr size_t MCC_DIGITS = 3;
    std::string mnc = imsi.substr(MCC_DIGITS, mncDigits);
    if (mnc.size() < 3) mnc = "0" + mnc;
    return "@wlan.mnc" + mnc + ".mcc" + imsi.substr(0, MCC_DIGITS) + ".3gppnetwork.org";
}

bool profile_absent(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

namespace {

constexpr char TEMPORARY_SUFFIX[] = ".tmp-";

// Temporary files a save left beside `target` when its process died before
// the rename. Only called with the lock held, when no save is under way.
void remove_leftover_temporaries(const std::string& target) {
    size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash);
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + TEMPORARY_SUFFIX;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

}  // namespace

ProfileLock::~ProfileLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool ProfileLock::acquire(const std::string& path, std::string& error, std::FILE* notices) {
    std::string target;
    if (!resolve_target(path, target, error)) return false;
    if (is_directory(target)) {
        error = target + ": is a directory, not a profile";
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    const std::string lockPath = target + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error = lockPath + ": cannot open the lock file: " + std::strerror(errno);
        return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK && notices != nullptr) {
            std::fprintf(notices, "eapaka: %s is in use by another process; waiting for it\n", path.c_str());
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error = lockPath + ": cannot lock: " + std::strerror(errno);
                return false;
            }
        }
    }
    remove_leftover_temporaries(target);
    return true;
}

std::string profile_default_path() {
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.eapaka/subscriber.profile";
}

bool profile_load(const std::string& path, ProfileKind kind, SubscriberProfile& profile,
                  std::string& error) {
    if (is_directory(path)) {
        error = path + ": is a directory, not a profile";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        struct stat target;
        error = is_symbolic_link(path) && ::stat(path.c_str(), &target) != 0
                    ? dangling_link_error(path)
                    : path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    SubscriberProfile p;
    std::map<std::string, int> seen;
    bool seqSeen[PROFILE_SEQ_ENTRIES] = {};
    std::string text;
    int lineNumber = 0;
    while (std::getline(in, text)) {
        ++lineNumber;
        std::istringstream fields(text);
        std::string key;
        if (!(fields >> key) || key[0] == '#') continue;
        std::vector<std::string> values;
        for (std::string v; fields >> v;) values.push_back(v);
        if (key != "seq_ms" && seen.count(key)) {
            return fail(error, path, lineNumber,
                        "'" + key + "' repeated (first on line " + std::to_string(seen[key]) + ")");
        }
        seen.emplace(key, lineNumber);
        auto want = [&](size_t n) {
            if (values.size() == n) return true;
            fail(error, path, lineNumber,
                 "'" + key + "' takes " + std::to_string(n) + " value" + (n == 1 ? "" : "s"));
            return false;
        };
        int keyIndex = -1;
        for (int i = 0; i < 4; ++i) keyIndex = key == KEY_NAMES[i] ? i : keyIndex;
        int constantIndex = -1;
        for (int i = 0; i < 5; ++i) constantIndex = key == CONSTANT_NAMES[i] ? i : constantIndex;

        if (key == "permanent_id") {
            if (!want(1)) return false;
            if (values[0].size() > PROFILE_ID_MAX) {
                return fail(error, path, lineNumber, "permanent_id longer than 16 characters");
            }
            p.permanentId = values[0];
        } else if (keyIndex >= 0) {
            if (!want(1)) return false;
            if (!parse_hex16(values[0], key_field(p, keyIndex))) {
                return fail(error, path, lineNumber, "'" + key + "' needs 32 hex digits");
            }
        } else if (constantIndex >= 0) {
            if (!want(1)) return false;
            if (!parse_hex16(values[0], p.milenage.c[constantIndex].data())) {
                return fail(error, path, lineNumber, "'" + key + "' needs 32 hex digits");
            }
        } else if (key == "r") {
            if (!want(5)) return false;
            for (int i = 0; i < 5; ++i) {
                if (!parse_int32(values[i], p.milenage.r[i]) || p.milenage.r[i] < 0) {
                    return fail(error, path, lineNumber,
                                "rotation '" + values[i] + "' is not a bit count of 0 or more");
                }
            }
        } else if (key == "pseudonym") {
            if (!want(1)) return false;
            if (!parse_pseudonym(values[0], p.pseudonym)) {
                return fail(error, path, lineNumber,
                            "pseudonym must be 'none', up to 23 characters, or hex: with 23 bytes");
            }
        } else if (key == "realm" && kind == ProfileKind::Peer) {
            if (!want(1)) return false;
            p.realm = realm_with_at(values[0]);
            if (!realm_valid(p.realm)) {
                return fail(error, path, lineNumber,
                            "realm must be printable, without spaces or a second '@', 1 to " +
                                std::to_string(PROFILE_REALM_MAX - 1) + " characters after the '@'");
            }
        } else if (key == "seq_ms" && kind == ProfileKind::Peer) {
            if (!want(2)) return false;
            uint64_t index = 0;
            uint64_t value = 0;
            if (!parse_uint(values[0], PROFILE_SEQ_ENTRIES - 1, index)) {
                return fail(error, path, lineNumber, "seq_ms index must be 0 to 31");
            }
            if (seqSeen[index]) {
                return fail(error, path, lineNumber, "seq_ms " + values[0] + " repeated");
            }
            if (!parse_uint(values[1], PROFILE_SEQ_LIMIT - 1, value)) {
                return fail(error, path, lineNumber, "seq_ms value must be a number below 2^43");
            }
            seqSeen[index] = true;
            p.seqMs[index] = value;
        } else if (key == "seq_he" && kind == ProfileKind::Network) {
            if (!want(1)) return false;
            if (!parse_uint(values[0], PROFILE_SEQ_LIMIT - 1, p.seqHe)) {
                return fail(error, path, lineNumber, "seq_he must be a number below 2^43");
            }
        } else if (key == "next_ind" && kind == ProfileKind::Network) {
            uint64_t ind = 0;
            if (!want(1)) return false;
            if (!parse_uint(values[0], PROFILE_SEQ_ENTRIES - 1, ind)) {
                return fail(error, path, lineNumber, "next_ind must be 0 to 31");
            }
            p.nextInd = static_cast<unsigned>(ind);
        } else {
            return fail(error, path, lineNumber, "unknown field '" + key + "'");
        }
    }
    std::vector<std::string> required = {"permanent_id", "k", "opc", "k_alt", "opc_alt", "c1", "c2", "c3",
                                         "c4", "c5", "r", "pseudonym"};
    if (kind == ProfileKind::Peer) {
        required.push_back("realm");
    } else {
        required.insert(required.end(), {"seq_he", "next_ind"});
    }
    for (const std::string& name : required) {
        if (!seen.count(name)) return fail(error, path, lineNumber, "missing field '" + name + "'");
    }
    for (size_t i = 0; kind == ProfileKind::Peer && i < PROFILE_SEQ_ENTRIES; ++i) {
        // A lost entry would read as 0 and accept SQNs the peer has seen.
        if (!seqSeen[i]) {
            return fail(error, path, lineNumber,
                        "seq_ms " + std::to_string(i) + " missing: every entry from 0 to 31 is required");
        }
    }
    profile = p;
    return true;
}

std::string profile_format(const SubscriberProfile& p, ProfileKind kind) {
    std::ostringstream out;
    if (kind == ProfileKind::Peer) {
        out << "# eapaka subscriber key store: one subscriber. It holds K: keep it private.\n";
    } else {
        out << "# eapaka simulated network: the operator's record of one subscriber.\n";
    }
    out << "permanent_id " << p.permanentId << "\n";
    for (int i = 0; i < 4; ++i) out << KEY_NAMES[i] << " " << to_hex(key_field(p, i), 16) << "\n";
    for (int i = 0; i < 5; ++i) out << CONSTANT_NAMES[i] << " " << to_hex(p.milenage.c[i]) << "\n";
    out << "r";
    for (int i = 0; i < 5; ++i) out << " " << p.milenage.r[i];
    out << "\npseudonym " << format_pseudonym(p.pseudonym) << "\n";
    if (kind == ProfileKind::Peer) {
        out << "realm " << p.realm << "\n";
        for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) out << "seq_ms " << i << " " << p.seqMs[i] << "\n";
    } else {
        out << "seq_he " << p.seqHe << "\nnext_ind " << p.nextInd << "\n";
    }
    return out.str();
}

namespace {

// The first byte of the pseudonyms the library uses by default.
constexpr uint8_t DEFAULT_PSEUDONYM_MARK = 'G';
// How many realm characters the library keeps without EAP_COMPAT_LONG_REALM.
constexpr size_t DEFAULT_REALM_KEPT = 15;

std::string realm_note(const std::string& realm) {
    if (realm.size() <= DEFAULT_REALM_KEPT) return "";
    return " (" + std::to_string(realm.size()) + " characters: the library keeps only the first " +
           std::to_string(DEFAULT_REALM_KEPT) + " by default, all with --compat rfc4187)";
}

// "K 465b5ce8... OPc cd63cb71..." and the published test set it is, if any.
std::string describe_keys(const MilenageKeys& keys) {
    struct TestSet {
        const char* name;
        MilenageKeys keys;
    };
    const SubscriberProfile d = SubscriberProfile::defaults();
    const TestSet known[] = {{"3GPP TS 35.208 test set 1", d.main}, {"3GPP TS 35.208 test set 3", d.alt}};
    std::string text = "K " + to_hex(keys.k, 4) + "... OPc " + to_hex(keys.opc, 4) + "...";
    for (const TestSet& t : known) {
        if (std::memcmp(&t.keys, &keys, sizeof keys) == 0) text += std::string(" (") + t.name + ")";
    }
    return text;
}

}  // namespace

std::string imsi_of_identity(const std::string& permanentId) {
    const bool prefixed = permanentId.size() > 1 &&
                          (permanentId[0] == AKA_PERMANENT_PREFIX || permanentId[0] == AKA_PRIME_PERMANENT_PREFIX);
    return prefixed ? permanentId.substr(1) : "";
}

std::string profile_describe(const SubscriberProfile& p) {
    std::ostringstream out;
    const char* row = "  %-20s ";
    auto field = [&](const char* name, const std::string& text) {
        char head[40];
        std::snprintf(head, sizeof head, row, name);
        out << head << text << "\n";
    };
    const std::string imsi = imsi_of_identity(p.permanentId);
    const char* method = p.permanentId[0] == AKA_PRIME_PERMANENT_PREFIX ? ", for EAP-AKA'" : "";
    field("permanent identity", p.permanentId + (imsi.empty() ? "" : " (IMSI " + imsi + method + ")"));
    field("main key set", describe_keys(p.main));
    field("alternate key set", describe_keys(p.alt) + ", chosen by AMF 0x0003");
    const MilenageParams standard = refcrypto::milenage_standard();
    bool isStandard = true;
    std::string rotations;
    for (int i = 0; i < 5; ++i) {
        isStandard = isStandard && p.milenage.c[i] == standard.c[i] && p.milenage.r[i] == standard.r[i];
        rotations += " " + std::to_string(p.milenage.r[i]);
    }
    field("Milenage constants", isStandard ? "standard (3GPP TS 35.206)" : "operator's c1..c5, r =" + rotations);
    field("realm", p.realm + realm_note(p.realm));
    std::string pseudonym = "none: the next authentication uses the permanent identity";
    if (p.has_pseudonym()) {
        pseudonym = "\"" + p.pseudonym_text() + "\", the identity of the next authentication";
        if (p.pseudonym[0] != DEFAULT_PSEUDONYM_MARK) {
            pseudonym += " with --compat rfc4187 (by default the library uses only pseudonyms starting with "
                         "\"G\" and sends the permanent identity)";
        }
    }
    field("pseudonym", pseudonym);
    field("re-auth identity", "none kept: the library holds a fast re-authentication identity in "
                              "memory only, so none outlives the process");
    std::string used;
    size_t inUse = 0;
    size_t highest = 0;
    for (size_t i = 0; i < PROFILE_SEQ_ENTRIES; ++i) {
        if (p.seqMs[i] == 0) continue;
        ++inUse;
        if (p.seqMs[i] > p.seqMs[highest] || p.seqMs[highest] == 0) highest = i;
        used += (used.empty() ? "" : ", ") + std::string("[") + std::to_string(i) + "] " + std::to_string(p.seqMs[i]);
    }
    if (inUse == 0) {
        field("SEQ array", "all 32 entries 0: no challenge accepted yet");
    } else {
        field("SEQ array", std::to_string(inUse) + " of 32 entries in use, highest SEQ " +
                               std::to_string(p.seqMs[highest]) + " at IND " + std::to_string(highest));
        field("", used);
    }
    return out.str();
}

void profile_set_crash_hook(void (*hook)()) { g_crash_hook = hook; }

static bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool profile_save(const std::string& path, const SubscriberProfile& profile, ProfileKind kind,
                  std::string& error) {
    std::string target;
    if (!resolve_target(path, target, error)) return false;
    if (is_directory(target)) {
        error = target + ": is a directory, not a profile";
        return false;
    }
    // A name of its own, so that no other writer can meet or replace it.
    std::string temporary = target + TEMPORARY_SUFFIX + "XXXXXX";
    const std::string content = profile_format(profile, kind);
    int fd = ::mkostemp(&temporary[0], O_CLOEXEC);   // created 0600
    if (fd < 0) {
        error = target + ": cannot create a temporary file beside it: " + std::strerror(errno);
        return false;
    }
    if (!write_all(fd, content) || ::fsync(fd) != 0) {
        error = temporary + ": cannot write: " + std::strerror(errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    ::close(fd);
    if (g_crash_hook != nullptr) g_crash_hook();
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = target + ": cannot replace: " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    size_t slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace tool
