// Reader for the test-vector data files in tests/vectors: records headed by
// "[id]", lines "NAME = value", '#' comments, blank lines between records.
#ifndef EAPAKA_TESTS_SUPPORT_VECTOR_FILE_H
#define EAPAKA_TESTS_SUPPORT_VECTOR_FILE_H

#include <map>
#include <string>
#include <vector>

#include "support/test_host.h"

struct VectorRecord {
    std::string id;
    std::map<std::string, std::string> fields;  // values as written

    bool has(const std::string& name) const { return fields.count(name) != 0; }
    // The hex field `name` as bytes; a failed test assertion if it is absent.
    Bytes bytes(const std::string& name) const;
    // The text field `name`; "" (and a failed assertion) if it is absent.
    std::string text(const std::string& name) const;
    // The decimal field `name`; 0 (and a failed assertion) if it is absent.
    long number(const std::string& name) const;
};

// Every record of tests/vectors/<file>; an empty list (and a failed
// assertion) when the file cannot be read.
std::vector<VectorRecord> load_vectors(const std::string& file);

#endif
