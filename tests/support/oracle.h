// The tests' crypto oracle: the reference cryptography the simulated network
// also computes with, under the name the tests use for it.
#ifndef EAPAKA_TESTS_SUPPORT_ORACLE_H
#define EAPAKA_TESTS_SUPPORT_ORACLE_H

#include "refcrypto/refcrypto.h"
#include "support/test_host.h"

namespace oracle = refcrypto;

#endif
