// The HLR/AuC gateway: answers an EAP-AKA server's vector requests and
// takes its resynchronisation reports over a UNIX datagram socket.
#ifndef EAPAKA_TOOLS_INTEROP_HLR_GATEWAY_H
#define EAPAKA_TOOLS_INTEROP_HLR_GATEWAY_H

#include <cstddef>
#include <ostream>
#include <string>

#include "tools/interop/hlr_auc.h"

// The longest socket path a UNIX socket address holds on Linux.
constexpr size_t HLR_SOCKET_PATH_MAX = 107;

// Handles one datagram. Returns true when an answer is due (in `reply`);
// `note` receives one line for the operator's log either way. A request
// that does not parse gets no answer: the server times out on it.
bool hlr_handle_datagram(HlrAuc& auc, const char* datagram, size_t length, std::string& reply,
                         std::string& note);

// Binds `socketPath` (replacing a stale socket file), serves until SIGINT or
// SIGTERM, then removes the socket file. Each answer goes to the sender's
// address; each request is noted in `log`, failures in `errors`. Returns a
// process exit status: 0 after a signal, 1 when the socket cannot be bound
// or a receive fails, 2 for a path that does not fit a socket address.
int hlr_serve(HlrAuc& auc, const std::string& socketPath, std::ostream& log, std::ostream& errors);

#endif
