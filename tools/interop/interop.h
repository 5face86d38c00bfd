// Entry points of the interoperability commands of the eapaka tool.
#ifndef EAPAKA_TOOLS_INTEROP_INTEROP_H
#define EAPAKA_TOOLS_INTEROP_INTEROP_H

// `eapaka radius ...`: authenticates through a RADIUS server (argv[0] is
// "radius"). Returns the process exit status.
int radius_main(int argc, char** argv);

// `eapaka hlr ...`: serves an EAP-AKA server's HLR/AuC requests.
int hlr_main(int argc, char** argv);

#endif
