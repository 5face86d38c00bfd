// A private directory under /tmp for each test of the tool, removed with
// everything in it afterwards.
#ifndef EAPAKA_TESTS_TOOLS_TEMP_DIR_H
#define EAPAKA_TESTS_TOOLS_TEMP_DIR_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/eapaka-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    std::string directory;
};

#endif
