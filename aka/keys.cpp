// TEMPORARY STUB: replace with the real implementation.
#include "aka/aka.h"
void derive_mk() {}
void derive_full_keys() {}
void derive_reauth_mk() {}
void derive_reauth_msk() {}
