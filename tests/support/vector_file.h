// Reader for the test-vector data files in tests/vectors: records headed by
// "[id]", lines "NAME = value", '#' comments, empty lines between records.
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
    // Absent fields fail the test.
    std::string text(const std::string& name) const {
        const auto it = fields.find(name);
        EXPECT_NE(it, fields.end()) << id << ": no field " << name;
        return it == fields.end() ? std::string() : it->second;
    }
    Bytes bytes(const std::string& name) const {
        const std::string hex = text(name);
        EXPECT_EQ(hex.size() % 2, 0u) << id << ": odd hex length in " << name;
        return hex_to_bytes(hex);
    }
    long number(const std::string& name) const {
        const std::string value = text(name);
        return value.empty() ? 0 : std::stol(value);
    }
};

// Every record of tests/vectors/<file>.
inline std::vector<VectorRecord> load_vectors(const std::string& file) {
    std::vector<VectorRecord> records;
    const std::string path = std::string(EAPAKA_VECTOR_DIR) + "/" + file;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find(" = ");
        if (line.front() == '[' && line.back() == ']') {
            records.push_back(VectorRecord{line.substr(1, line.size() - 2), {}});
        } else if (records.empty() || eq == std::string::npos) {
            ADD_FAILURE() << path << ": stray line: " << line;
        } else {
            records.back().fields[line.substr(0, eq)] = line.substr(eq + 3);  // as written, spaces included
        }
    }
    return records;
}

#endif
