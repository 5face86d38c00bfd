// Reader for the test-vector data files in tests/vectors: records headed by
// "[id]", lines "NAME = value", '#' comments, blank lines between records.
#ifndef EAPAKA_TESTS_SUPPORT_VECTOR_FILE_H
#define EAPAKA_TESTS_SUPPORT_VECTOR_FILE_H

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/test_host.h"

struct VectorRecord {
    std::string id;
    std::map<std::string, std::string> fields;  // values as written

    bool has(const std::string& name) const { return fields.count(name) != 0; }
    // The text field `name`; "" (and a failed assertion) if it is absent.
    std::string text(const std::string& name) const {
        const auto it = fields.find(name);
        EXPECT_NE(it, fields.end()) << id << ": no field " << name;
        return it == fields.end() ? std::string() : it->second;
    }
    // The hex field `name` as bytes; a failed test assertion if it is absent.
    Bytes bytes(const std::string& name) const {
        const std::string hex = text(name);
        EXPECT_EQ(hex.size() % 2, 0u) << id << ": odd hex length in " << name;
        return hex_to_bytes(hex);
    }
    // The decimal field `name`; 0 (and a failed assertion) if it is absent.
    long number(const std::string& name) const {
        const std::string value = text(name);
        return value.empty() ? 0 : std::stol(value);
    }
};

// Every record of tests/vectors/<file>; an empty list (and a failed
// assertion) when the file cannot be read.
inline std::vector<VectorRecord> load_vectors(const std::string& file) {
    const auto trim = [](const std::string& s) {
        const size_t first = s.find_first_not_of(" \t\r\n");
        return first == std::string::npos ? "" : s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
    };
    std::vector<VectorRecord> records;
    const std::string path = std::string(EAPAKA_VECTOR_DIR) + "/" + file;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        if (t.front() == '[' && t.back() == ']') {
            records.push_back(VectorRecord{t.substr(1, t.size() - 2), {}});
            continue;
        }
        const size_t eq = line.find(" = "), eqBare = line.find('=');
        if (records.empty() || eqBare == std::string::npos) {
            ADD_FAILURE() << path << ": stray line: " << line;
            continue;
        }
        // "NAME = value"; an _ASCII value is kept literally after the separator.
        const bool spaced = eq != std::string::npos && eq == eqBare - 1;
        const std::string name = trim(line.substr(0, eqBare));
        std::string value = line.substr(spaced ? eq + 3 : eqBare + 1);
        if (name.size() < 6 || name.compare(name.size() - 6, 6, "_ASCII") != 0) value = trim(value);
        records.back().fields[name] = value;
    }
    return records;
}

#endif
