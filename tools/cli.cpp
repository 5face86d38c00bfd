#include "tools/cli.h"

#include <cstdio>
#include <cstdlib>

#include "eapaka/eapaka.h"

namespace tool {

namespace {

const OptionInfo* find_option(const CommandInfo& command, const std::string& name) {
    for (const OptionInfo& o : command.options) {
        if (name == o.name || (o.shortName != nullptr && name == o.shortName)) return &o;
    }
    return nullptr;
}

bool is_option(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

}  // namespace

bool CommandLine::has(const char* name) const {
    for (const Item& i : items) {
        if (i.name == name) return true;
    }
    return false;
}

std::string CommandLine::value(const char* name, const std::string& fallback) const {
    for (const Item& i : items) {
        if (i.name == name) return i.value;
    }
    return fallback;
}

std::vector<std::string> CommandLine::operands() const {
    std::vector<std::string> out;
    for (const Item& i : items) {
        if (i.name.empty()) out.push_back(i.value);
    }
    return out;
}

std::string command_title(const CommandInfo& command) {
    return *command.name == '\0' ? "eapaka" : std::string("eapaka ") + command.name;
}

ParseOutcome parse_command_line(const CommandInfo& command, const std::vector<CommandInfo>& all,
                                const std::vector<std::string>& args, CommandLine& line,
                                std::string& error) {
    // --help and --version win over anything else on the line.
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") return ParseOutcome::Help;
        if (a == "--version") return ParseOutcome::Version;
    }
    line.command = &command;
    line.items.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (!is_option(arg)) {
            if (command.operands == nullptr) {
                error = "unexpected argument '" + arg + "'";
                return ParseOutcome::Error;
            }
            line.items.push_back({"", arg});
            continue;
        }
        std::string inlineValue;
        bool hasInlineValue = false;
        size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            hasInlineValue = true;
            arg.resize(equals);
        }
        const OptionInfo* option = find_option(command, arg);
        if (option == nullptr) {
            for (const CommandInfo& other : all) {
                if (find_option(other, arg) != nullptr) {
                    error = arg + " does not apply to '" + command_title(command) + "'";
                    return ParseOutcome::Error;
                }
            }
            error = "unknown option '" + arg + "'";
            return ParseOutcome::Error;
        }
        if (!option->repeatable && line.has(option->name)) {
            error = std::string(option->name) + " given twice";
            return ParseOutcome::Error;
        }
        std::string value;
        if (option->value != nullptr) {
            if (hasInlineValue) {
                value = inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = std::string(option->name) + " needs a value (" + option->value + ")";
                return ParseOutcome::Error;
            }
        } else if (hasInlineValue) {
            error = std::string(option->name) + " takes no value";
            return ParseOutcome::Error;
        }
        line.items.push_back({option->name, value});
    }
    return ParseOutcome::Run;
}

int usage_error(const CommandInfo& command, const std::string& error) {
    std::string title = command_title(command);
    std::fprintf(stderr, "%s: %s (%s --help)\n", title.c_str(), error.c_str(), title.c_str());
    return EXIT_USAGE;
}

std::string bad_value(const std::string& option, const std::string& value, const std::string& expected) {
    return option + " '" + value + "': expected " + expected;
}

bool parse_number(const std::string& option, const std::string& text, uint64_t min, uint64_t max,
                  uint64_t& out, std::string& error) {
    uint64_t value = 0;
    bool ok = !text.empty() && text.size() <= 20;
    for (char c : text) {
        if (!ok) break;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        ok = c >= '0' && c <= '9' && digit <= max && value <= (max - digit) / 10;  // value * 10 + digit <= max
        value = value * 10 + digit;
    }
    if (!ok || value < min) {
        error = bad_value(option, text,
                          "a number from " + std::to_string(min) + " to " + std::to_string(max));
        return false;
    }
    out = value;
    return true;
}

bool number_option(const CommandLine& line, const char* name, uint64_t min, uint64_t max,
                   uint64_t fallback, uint64_t& out, std::string& error) {
    if (!line.has(name)) {
        out = fallback;
        return true;
    }
    return parse_number(name, line.value(name), min, max, out, error);
}

bool exclusive(const CommandLine& line, const char* a, const char* b, std::string& error) {
    if (!line.has(a) || !line.has(b)) return true;
    error = std::string(a) + " and " + b + " exclude each other";
    return false;
}

bool parse_compat(const std::string& text, long& out, std::string& error) {
    if (text == "rfc4187") {
        out = EAP_COMPAT_RFC4187;
        return true;
    }
    if (text == "none") {
        out = 0;
        return true;
    }
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || *end != '\0' || value > 0xFFFFFFFFul) {
        error = bad_value("--compat", text, "rfc4187, none or a number");
        return false;
    }
    out = static_cast<long>(value);
    return true;
}

bool method_option(const CommandLine& line, bool& prime, std::string& error) {
    const std::string name = line.value("--method", method_option_name(false));
    prime = name == method_option_name(true);
    if (prime || name == method_option_name(false)) return true;
    error = bad_value("--method", name, "aka or aka-prime");
    return false;
}

const char* method_option_name(bool prime) { return prime ? "aka-prime" : "aka"; }

const char* method_title(bool prime) { return prime ? "EAP-AKA'" : "EAP-AKA"; }

long compat_for_method(long compat, bool prime) {
    return prime ? (compat < 0 ? 0 : compat) | EAP_COMPAT_AKA_PRIME : compat;
}

}  // namespace tool
