// The command-line grammar every eapaka command shares: long options with or
// without a value ("--count 3" or "--count=3"), short aliases, operands,
// --help and --version everywhere, one-line usage errors that name the
// option and the value, and the exit statuses.
#ifndef EAPAKA_TOOLS_CLI_H
#define EAPAKA_TOOLS_CLI_H

#include <cstdint>
#include <string>
#include <vector>

namespace tool {

enum ExitStatus : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,    // an authentication failed (or the hlr gateway stopped on an error)
    EXIT_USAGE = 2,     // bad command line, unknown host, output file not creatable
    EXIT_KEYSTORE = 3   // profile or network record missing, unreadable, malformed, unsaved
};

struct OptionInfo {
    const char* name;        // "--count"
    const char* shortName;   // "-n", or nullptr
    const char* value;       // what the value is ("N"), or nullptr for a flag
    bool repeatable = false; // may be given more than once (hlr's per-profile options)
};

struct CommandLine;

struct CommandInfo {
    const char* name;        // "" for the scenarios, "keystore init", "radius", ...
    std::vector<OptionInfo> options;
    const char* operands;    // what operands it takes ("PROFILE..."), or nullptr
    const char* help;
    int (*run)(const CommandLine& line);
};

// The parsed arguments in their order; an operand has an empty name.
struct CommandLine {
    struct Item {
        std::string name;    // the option's long name
        std::string value;
    };
    const CommandInfo* command = nullptr;
    std::vector<Item> items;

    bool has(const char* name) const;
    // The value of a non-repeatable option, or `fallback` when not given.
    std::string value(const char* name, const std::string& fallback = "") const;
    std::vector<std::string> operands() const;
};

enum class ParseOutcome { Run, Help, Version, Error };

// Parses `args` (what follows the command's words). An option that another
// command of `all` knows is refused as not applying to this one.
ParseOutcome parse_command_line(const CommandInfo& command, const std::vector<CommandInfo>& all,
                                const std::vector<std::string>& args, CommandLine& line,
                                std::string& error);

// "eapaka radius" for the radius command, "eapaka" for the scenarios.
std::string command_title(const CommandInfo& command);

// Writes "TITLE: ERROR (TITLE --help)" as one line on stderr; EXIT_USAGE.
int usage_error(const CommandInfo& command, const std::string& error);

// "--count 'x': expected a number from 1 to 100".
std::string bad_value(const std::string& option, const std::string& value, const std::string& expected);

// A decimal number in [min, max]; false with `error` from bad_value.
bool parse_number(const std::string& option, const std::string& text, uint64_t min, uint64_t max,
                  uint64_t& out, std::string& error);
// The option's number, or `fallback` when it is not given.
bool number_option(const CommandLine& line, const char* name, uint64_t min, uint64_t max,
                   uint64_t fallback, uint64_t& out, std::string& error);
// At most one of the named options is given.
bool exclusive(const CommandLine& line, const char* a, const char* b, std::string& error);

// The value for EAP_SetCompatibility that a --compat MODE names: rfc4187
// (EAP_COMPAT_RFC4187), none (0) or a number (decimal, or hex with 0x).
bool parse_compat(const std::string& text, long& out, std::string& error);

// --method aka|aka-prime: the EAP method a command runs, EAP-AKA (the
// default) or EAP-AKA' (RFC 9048); `prime` holds for EAP-AKA'.
bool method_option(const CommandLine& line, bool& prime, std::string& error);
// "aka" or "aka-prime", as --method takes it.
const char* method_option_name(bool prime);
// "EAP-AKA" or "EAP-AKA'".
const char* method_title(bool prime);
// The value for EAP_SetCompatibility (-1: not called) with the method
// taken into account: EAP-AKA' adds EAP_COMPAT_AKA_PRIME, without which the
// library answers it with a Nak.
long compat_for_method(long compat, bool prime);

}  // namespace tool

#endif
