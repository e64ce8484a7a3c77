#pragma once
#include <string>

// The temporary files a run writes before it puts them in place, known to
// the process so that an interrupt can take them away, and the ones a
// killed run left behind, which a later run clears.

namespace lumera {

// Up to this many temporary files at once are known; more still work, and
// only the sweep of a later run can clear those after a kill.
inline constexpr int kTemporarySlots = 64;

// A slot for `path`, or -1 when all are taken. Registered before the file
// is created, so that no moment exists when it is there and unknown.
int registerTemporary(const std::string& path) noexcept;
// After the file is renamed or removed.
void releaseTemporary(int slot) noexcept;

// SIGINT, SIGTERM and SIGHUP remove the registered files, say so in one line
// on stderr and end the process by the same signal; SIGXFSZ is ignored so
// that a write past the file size limit fails (EFBIG) with a message.
void installInterruptCleanup(const char* programName);

// The name of the n-th temporary of this process in `folder`.
std::string temporaryName(const std::string& folder, unsigned n);

// Removes, once per folder and process, the temporaries of this program in
// `folder` that a dead process left: its own name pattern, owned by this
// user, no living process of that number, untouched for over a minute.
void removeStaleTemporaries(const std::string& folder) noexcept;

// The sweep proper, every time; for tests. The age is in seconds.
int sweepStaleTemporaries(const std::string& folder, long minimumAge = 60) noexcept;

}  // namespace lumera
