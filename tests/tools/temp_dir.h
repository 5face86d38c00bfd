// A private directory under /tmp for each test of the tool, removed with
// everything in it afterwards, and shell commands run in it.
#ifndef EAPAKA_TESTS_TOOLS_TEMP_DIR_H
#define EAPAKA_TESTS_TOOLS_TEMP_DIR_H

#include <gtest/gtest.h>
#include <sys/wait.h>
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

    // The exit status of `command` run by the shell in the directory, or -1.
    int run(const std::string& command) const {
        const int status = std::system(("cd " + directory + " && " + command).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool have_program(const std::string& name) const { return run("command -v " + name + " >/dev/null") == 0; }

    std::string directory;
};

#endif
