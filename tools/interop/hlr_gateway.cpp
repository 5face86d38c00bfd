#include "tools/interop/hlr_gateway.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t MAX_DATAGRAM = 1024;  // requests are well below 100 bytes

volatile sig_atomic_t stopRequested = 0;

void request_stop(int) { stopRequested = 1; }

std::string sqn_text(const HlrSubscriber& s) {
    return "SEQ " + std::to_string(s.seq) + " IND " + std::to_string(s.ind);
}

}  // namespace

bool hlr_handle_datagram(HlrAuc& auc, const char* datagram, size_t length, std::string& reply,
                         std::string& note) {
    HlrRequest request;
    if (!hlr_parse_request(datagram, length, request)) {
        note = "ignored unparsable request (" + std::to_string(length) + " bytes)";
        return false;
    }
    if (request.kind == HlrRequestKind::Resynchronisation) {
        bool done = auc.resynchronise(request.imsi, request.auts, request.rand);
        const HlrSubscriber* s = auc.find(request.imsi);
        note = "AKA-AUTS " + request.imsi +
               (done ? " resynchronised: last " + sqn_text(*s)
                     : s ? " refused: MAC-S does not verify with the dummy AMF 0000" : " refused: unknown subscriber");
        return false;
    }
    tool::AuthVector vector;
    if (auc.make_vector(request.imsi, vector)) {
        reply = hlr_format_vector(request.imsi, vector);
        note = "AKA-REQ-AUTH " + request.imsi + " vector with " + sqn_text(*auc.find(request.imsi));
    } else {
        reply = hlr_format_failure(request.imsi);
        note = "AKA-REQ-AUTH " + request.imsi + " FAILURE (unknown subscriber or SQN exhausted)";
    }
    return true;
}

int hlr_serve(HlrAuc& auc, const std::string& socketPath, std::ostream& log, std::ostream& errors) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    static_assert(sizeof address.sun_path == HLR_SOCKET_PATH_MAX + 1, "the socket path limit");
    if (socketPath.empty() || socketPath.size() > HLR_SOCKET_PATH_MAX) return 2;  // checked by the caller
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    unlink(socketPath.c_str());
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        errors << "eapaka hlr: cannot bind " << socketPath << ": " << std::strerror(errno) << "\n";
        if (fd >= 0) close(fd);
        return 1;
    }
    // No SA_RESTART: a signal interrupts the receive so the loop can end.
    struct sigaction action{};
    action.sa_handler = request_stop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    log << "hlr: listening on " << socketPath << std::endl;

    int status = 0;
    char datagram[MAX_DATAGRAM];
    while (!stopRequested) {
        sockaddr_un peer{};
        socklen_t peerLength = sizeof peer;
        ssize_t n = recvfrom(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&peer),
                             &peerLength);
        if (n < 0) {
            if (errno == EINTR) continue;
            errors << "eapaka hlr: receive failed: " << std::strerror(errno) << std::endl;
            status = 1;
            break;
        }
        std::string reply, note;
        bool answer = hlr_handle_datagram(auc, datagram, static_cast<size_t>(n), reply, note);
        log << "hlr: " << note << std::endl;
        if (answer && sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&peer),
                             peerLength) < 0)
            errors << "eapaka hlr: reply not sent: " << std::strerror(errno) << std::endl;
    }
    close(fd);
    unlink(socketPath.c_str());
    return status;
}
