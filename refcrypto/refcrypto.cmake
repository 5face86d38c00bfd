# Reference cryptography (refcrypto.h): the simulated network's crypto and
# the tests' oracle. Included by tools/ and tests/; each inclusion sets
# EAPAKA_REFCRYPTO_BACKEND in the including scope (openssl, gcrypt, or empty
# when neither is found) and the static library eapaka_refcrypto is defined
# once.
#
# OpenSSL wherever it is available. The mingw-w64 cross-build, for which
# Debian packages no OpenSSL, uses libgcrypt, linked statically so the test
# programs need no DLL beside them.
if(WIN32)
  find_package(OpenSSL QUIET)
else()
  find_package(OpenSSL REQUIRED)
endif()
set(EAPAKA_REFCRYPTO_BACKEND "")
if(TARGET OpenSSL::Crypto)
  set(EAPAKA_REFCRYPTO_BACKEND openssl)
else()
  find_path(EAPAKA_GCRYPT_INCLUDE_DIR gcrypt.h)
  find_library(EAPAKA_GCRYPT_LIBRARY NAMES libgcrypt.a gcrypt)
  find_library(EAPAKA_GPG_ERROR_LIBRARY NAMES libgpg-error.a gpg-error)
  if(EAPAKA_GCRYPT_INCLUDE_DIR AND EAPAKA_GCRYPT_LIBRARY AND EAPAKA_GPG_ERROR_LIBRARY)
    set(EAPAKA_REFCRYPTO_BACKEND gcrypt)
  endif()
endif()

if(EAPAKA_REFCRYPTO_BACKEND AND NOT TARGET eapaka_refcrypto)
  add_library(eapaka_refcrypto STATIC
    ${CMAKE_CURRENT_LIST_DIR}/constructions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/${EAPAKA_REFCRYPTO_BACKEND}.cpp)
  target_include_directories(eapaka_refcrypto PUBLIC ${PROJECT_SOURCE_DIR})
  if(EAPAKA_REFCRYPTO_BACKEND STREQUAL "openssl")
    target_link_libraries(eapaka_refcrypto PUBLIC OpenSSL::Crypto)
  else()
    target_include_directories(eapaka_refcrypto PRIVATE ${EAPAKA_GCRYPT_INCLUDE_DIR})
    target_link_libraries(eapaka_refcrypto PUBLIC
      ${EAPAKA_GCRYPT_LIBRARY} ${EAPAKA_GPG_ERROR_LIBRARY} ws2_32)
  endif()
endif()
