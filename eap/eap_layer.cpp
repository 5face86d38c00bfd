// TEMPORARY STUB: to be replaced by the real EAP peer layer.
#include "eap/eap_layer.h"
#include "api/session.h"
void eap_end_conversation() {}
int EAP_layer(unsigned char*, unsigned char*, unsigned short*) { return EAPAKA_RESULT_DROPPED; }
