#include "textio/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

namespace lumera {

namespace {

// A slot is free (0), being filled (1) or holds a path (2). The handler only
// reads slots in state 2, so a half-copied path is never unlinked.
struct Slot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
Slot slots[kTemporarySlots];
static_assert(std::atomic<int>::is_always_lock_free);

// The message, built before any signal can come, as the handler can only write.
char messages[3][160];
std::size_t messageLengths[3];
constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};

void removeRegistered() {
    for (Slot& s : slots)
        if (s.state.load(std::memory_order_acquire) == 2) ::unlink(s.path);
}

extern "C" void onInterrupt(int sig) {
    const int saved = errno;
    removeRegistered();
    for (int k = 0; k < 3; ++k)
        if (kSignals[k] == sig) {
            [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, messages[k], messageLengths[k]);
        }
    // Ended by the signal itself, so that the shell sees 128 + its number.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    errno = saved;
}

bool digitsBetween(const char*& p, char end) {
    const char* start = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == start || p - start > 10 || *p != end) return false;
    ++p;
    return true;
}

// The process number of a name ".lumera-PID-N.tmp", or 0.
long temporaryPid(const char* name) {
    static constexpr char kPrefix[] = ".lumera-";
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) return 0;
    const char* p = name + sizeof kPrefix - 1;
    const char* pidStart = p;
    if (!digitsBetween(p, '-')) return 0;
    const long pid = std::strtol(pidStart, nullptr, 10);
    if (!digitsBetween(p, '.')) return 0;
    if (std::strcmp(p, "tmp") != 0) return 0;
    return pid > 0 && pid <= INT_MAX ? pid : 0;
}

}  // namespace

int registerTemporary(const std::string& path) noexcept {
    if (path.size() >= PATH_MAX) return -1;
    for (int k = 0; k < kTemporarySlots; ++k) {
        int expected = 0;
        if (!slots[k].state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
        std::memcpy(slots[k].path, path.c_str(), path.size() + 1);
        slots[k].state.store(2, std::memory_order_release);
        return k;
    }
    return -1;
}

void releaseTemporary(int slot) noexcept {
    if (slot >= 0 && slot < kTemporarySlots) slots[slot].state.store(0, std::memory_order_release);
}

void installInterruptCleanup(const char* programName) {
    const char* names[3] = {"an interrupt (SIGINT)", "SIGTERM", "SIGHUP"};
    // On a terminal the progress line may be showing: the message takes a line of its own.
    const char* lead = ::isatty(STDERR_FILENO) ? "\n" : "";
    for (int k = 0; k < 3; ++k) {
        const int n = std::snprintf(messages[k], sizeof messages[k],
                                    "%s%s: stopped by %s; unfinished files removed, finished ones kept\n", lead,
                                    programName, names[k]);
        messageLengths[k] = n < 0 ? 0 : std::min(static_cast<std::size_t>(n), sizeof messages[k] - 1);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaddset(&action.sa_mask, sig);
    for (int sig : kSignals) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string temporaryName(const std::string& folder, unsigned n) {
    std::string name = folder;
    if (!name.empty() && name.back() != '/') name += '/';
    return name + ".lumera-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".tmp";
}

int sweepStaleTemporaries(const std::string& folder, long minimumAge) noexcept {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    const int fd = ::dirfd(dir);
    const uid_t me = ::geteuid();
    const time_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        const long pid = temporaryPid(e->d_name);
        if (pid == 0 || pid == ::getpid()) continue;
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != me || now - st.st_mtime <= minimumAge) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        if (::unlinkat(fd, e->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

void removeStaleTemporaries(const std::string& folder) noexcept {
    static std::mutex mutex;
    static std::set<std::string> swept;
    try {
        {
            std::lock_guard lock(mutex);
            if (!swept.insert(folder).second) return;
        }
        sweepStaleTemporaries(folder);
    } catch (...) {
        // Only housekeeping: a lack of memory here must not stop the run.
    }
}

}  // namespace lumera
