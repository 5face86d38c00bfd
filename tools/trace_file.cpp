#include "tools/trace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace tool {

namespace {

constexpr mode_t OWNER_READ_WRITE = S_IRUSR | S_IWUSR;

// The same conditions the library checks before it writes, in words.
std::string refusal_of(const struct stat& st) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if (st.st_uid != ::geteuid()) return "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return std::string("group or others have permissions on it (mode ") + mode + "), and it would hold keys";
    }
    if (st.st_nlink != 1) return "it has " + std::to_string(st.st_nlink) + " links, so others may reach it by another name";
    return "";
}

}  // namespace

TraceFile trace_file_inspect(const std::string& configuredPath) {
    TraceFile trace;
    trace.path = configuredPath;
    if (!trace.path.empty() && trace.path[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd) != nullptr) trace.path = std::string(cwd) + "/" + trace.path;
    }
    struct stat st;
    if (::lstat(trace.path.c_str(), &st) != 0) return trace;
    trace.refusal = refusal_of(st);
    trace.state = trace.refusal.empty() ? TraceFileState::Traced : TraceFileState::Refused;
    return trace;
}

bool trace_file_create(TraceFile& trace, std::string& error) {
    if (trace.state != TraceFileState::Absent) return true;
    int fd = ::open(trace.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, OWNER_READ_WRITE);
    // The umask may have taken the owner's write bit: set the mode outright.
    if (fd < 0 || ::fchmod(fd, OWNER_READ_WRITE) != 0) {
        error = "cannot create the trace file " + trace.path + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    ::close(fd);
    trace = trace_file_inspect(trace.path);
    return true;
}

}  // namespace tool
