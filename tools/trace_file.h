// The library's trace file as the tool sees it. The library appends its
// trace (keys in clear) to the file only when it is a regular file owned by
// the process's user, with no permission bit for group or others, a single
// link and not a symbolic link; anything else it treats as absent. The tool
// creates the file that way and says in words why an existing one gets
// nothing.
#ifndef EAPAKA_TOOLS_TRACE_FILE_H
#define EAPAKA_TOOLS_TRACE_FILE_H

#include <string>

namespace tool {

enum class TraceFileState { Absent, Traced, Refused };

struct TraceFile {
    std::string path;      // absolute
    TraceFileState state = TraceFileState::Absent;
    std::string refusal;   // why the library writes nothing to it (Refused)
};

// Looks at the trace file the library would write (`configuredPath`,
// relative to the working directory unless absolute).
TraceFile trace_file_inspect(const std::string& configuredPath);

// Creates an absent trace file with mode 0600 whatever the umask; an
// existing one is left as it is. False with `error` when it cannot be made.
bool trace_file_create(TraceFile& trace, std::string& error);

}  // namespace tool

#endif
