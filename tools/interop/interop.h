// The interoperability commands of the eapaka tool.
#ifndef EAPAKA_TOOLS_INTEROP_INTEROP_H
#define EAPAKA_TOOLS_INTEROP_INTEROP_H

#include "tools/cli.h"

// `eapaka radius`: authenticates through a RADIUS server.
const tool::CommandInfo& radius_command();

// `eapaka hlr`: serves an EAP-AKA server's HLR/AuC requests.
const tool::CommandInfo& hlr_command();

#endif
