#include "support/vector_file.h"

#include <fstream>

namespace {

std::string trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

}  // namespace

Bytes VectorRecord::bytes(const std::string& name) const {
    auto it = fields.find(name);
    EXPECT_NE(it, fields.end()) << id << ": no field " << name;
    if (it == fields.end()) return {};
    EXPECT_EQ(it->second.size() % 2, 0u) << id << ": odd hex length in " << name;
    return hex_to_bytes(it->second);
}

std::string VectorRecord::text(const std::string& name) const {
    auto it = fields.find(name);
    EXPECT_NE(it, fields.end()) << id << ": no field " << name;
    return it == fields.end() ? std::string() : it->second;
}

long VectorRecord::number(const std::string& name) const {
    const std::string value = text(name);
    return value.empty() ? 0 : std::stol(value);
}

std::vector<VectorRecord> load_vectors(const std::string& file) {
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
        const size_t eq = line.find(" = ");
        const size_t eqBare = line.find('=');
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
