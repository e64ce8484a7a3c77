#include "textio/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/treatment_files.h"
#include "textio/temporary_files.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    std::string s;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// What a pipe's reader gets while `write` runs.
std::string drainedPipe(const std::string& fifo, const std::function<void()>& write) {
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    write();
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) got.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return got;
}

class TextFileTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove(path); }
    std::string path = (fs::temp_directory_path() / "lumera_text_file_test.txt").string();
};

TEST_F(TextFileTest, WritesExactBytesThroughSmallBuffer) {
    std::string expected;
    {
        TextFile file(path, "Save", 8);
        file.write("abc");
        file.writeLine("defgh");
        file.write(std::string(20, 'x'));  // larger than the buffer
        file.write("\n");
        file.flush();
        EXPECT_EQ(contents(file.temporaryPath()), "abcdefgh\r\n" + std::string(20, 'x') + "\n");
        EXPECT_FALSE(fs::exists(path));
        file.write("tail");
        file.close();
        EXPECT_FALSE(file.isOpen());
    }
    EXPECT_EQ(contents(path), "abcdefgh\r\n" + std::string(20, 'x') + "\ntail");
}

// A file given up (an error, or no close) leaves the old one whole and no
// temporary file; close() replaces it whole.
TEST_F(TextFileTest, ReplacesTheOldFileOnlyWhenClosed) {
    {
        TextFile file(path, "Save");
        file.writeLine("old");
        file.close();
    }
    std::string temporary;
    {
        TextFile file(path, "Save", 8);
        file.write(std::string(1000, 'z'));
        temporary = file.temporaryPath();
        EXPECT_EQ(fs::path(temporary).parent_path(), fs::path(path).parent_path());
        EXPECT_EQ(contents(path), "old\r\n");
    }
    EXPECT_EQ(contents(path), "old\r\n");
    EXPECT_FALSE(fs::exists(temporary));
    TextFile file(path, "Save");
    file.writeLine("new");
    file.close();
    EXPECT_EQ(contents(path), "new\r\n");
    EXPECT_FALSE(fs::exists(temporary));
}

// Starting the disk's writing early flushes what was written, in order,
// and neither puts the file in place nor keeps it when it is given up.
TEST_F(TextFileTest, AnEarlyWritebackKeepsTheOrderAndTheOldFileUntilClose) {
    {
        TextFile file(path, "Save");
        file.writeLine("old");
        file.close();
    }
    for (const bool keep : {false, true}) {
        std::string temporary;
        {
            TextFile file(path, "Save", 8);
            temporary = file.temporaryPath();
            file.write("abc");
            file.write(std::string(20, 'x'));  // past the buffer, straight to the file
            file.write("de");
            file.startWriteback();
            EXPECT_EQ(contents(temporary), "abc" + std::string(20, 'x') + "de");
            EXPECT_EQ(contents(path), "old\r\n");
            file.writeLine("fg");
            file.startWriteback();
            file.write("h");
            if (keep) file.close();
        }
        EXPECT_FALSE(fs::exists(temporary)) << keep;
        EXPECT_EQ(contents(path), keep ? "abc" + std::string(20, 'x') + "defg\r\nh" : "old\r\n") << keep;
    }
}

// Reports never replace one another: a taken name gets a number, also
// when the older file comes from another run in the meantime.
TEST_F(TextFileTest, KeepAndNumberNeverReplaces) {
    const fs::path folder = fs::temp_directory_path() / ("lumera_numbered_" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string report = (folder / "run 1.5.txt").string();
    std::vector<std::string> taken;
    for (int k = 1; k <= 3; ++k) {
        TextFile file(report, "Save", 64, TextFile::Existing::KeepAndNumber);
        file.writeLine("run " + std::to_string(k));
        file.close();
        taken.push_back(fs::path(file.path()).filename().string());
    }
    EXPECT_EQ(taken, (std::vector<std::string>{"run 1.5.txt", "run 1.5 (2).txt", "run 1.5 (3).txt"}));
    EXPECT_EQ(contents(report), "run 1\r\n");
    EXPECT_EQ(contents((folder / "run 1.5 (3).txt").string()), "run 3\r\n");
    fs::remove_all(folder);
}

TEST_F(TextFileTest, FailuresThrowUserError) {
    const std::string bad = (fs::temp_directory_path() / "lumera_no_such_dir" / "out.txt").string();
    try {
        TextFile file(bad, "Save");
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "Save");
        EXPECT_EQ(e.text().rfind("Cannot create the file:\n" + bad, 0), 0u) << e.text();
    }
    // Names that can never be made fail at once, not after the writing.
    const std::string longName = (fs::temp_directory_path() / std::string(300, 'n')).string();
    EXPECT_THROW(TextFile(longName, "Save"), UserError);
    EXPECT_THROW(TextFile(fs::temp_directory_path().string(), "Save"), UserError);
    TextFile file(path, "Save");
    file.close();
    EXPECT_THROW(file.write("x"), UserError);
}

// What stands at an output's name decides how it is written: a link keeps
// pointing to the new file, a pipe or a device is written into and stays.
TEST(TextFileTargets, WhatStandsAtTheNameStays) {
    test::TempFolder folder("text_file_targets");
    const std::string text = "a,b\r\n1,2\r\n";
    auto writeTo = [&](const std::string& path) {
        TextFile file(path, "Save", 4);
        file.write(text);
        file.close();
    };
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;  // the thing at the name
        std::function<void(const std::string&)> check;
    };
    const std::vector<Case> cases = {
        {"link to a file",
         [&](const std::string& p) {
             std::FILE* f = std::fopen(folder.file("target.csv").c_str(), "wb");
             std::fputs("old", f);
             std::fclose(f);
             fs::create_symlink("target.csv", p);
         },
         [&](const std::string& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_EQ(contents(folder.file("target.csv")), text);
         }},
        {"link to a link to nothing yet",
         [&](const std::string& p) {
             fs::create_symlink("hop", p);
             fs::create_symlink("sub/new.csv", folder.file("hop"));
             fs::create_directory(folder.file("sub"));
         },
         [&](const std::string& p) {
             EXPECT_TRUE(fs::is_symlink(p));
             EXPECT_EQ(contents(folder.file("sub/new.csv")), text);
             EXPECT_EQ(folder.names(), (std::vector<std::string>{"hop", fs::path(p).filename().string(), "sub"}));
         }},
    };
    for (const Case& c : cases) {
        const std::string p = folder.file(std::string("out ") + c.what);
        c.make(p);
        writeTo(p);
        c.check(p);
        for (const std::string& name : folder.names()) fs::remove_all(folder.file(name));
    }

    // A pipe: its reader gets the text, and the pipe stays a pipe. The
    // reader is there first and the text fits the pipe, so nothing waits.
    const std::string fifo = folder.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(drainedPipe(fifo, [&] { writeTo(fifo); }), text);
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A socket cannot be opened: an error naming it, and it stays.
    const std::string socketPath = folder.file("socket");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    try {
        writeTo(socketPath);
        ADD_FAILURE() << "a socket was written";
    } catch (const UserError& e) {
        EXPECT_NE(e.text().find(socketPath), std::string::npos) << e.text();
    }
    EXPECT_TRUE(fs::is_socket(socketPath));
    close(s);
    for (const std::string& name : folder.names()) EXPECT_EQ(name.find(".lumera-"), std::string::npos) << name;
}

// Device nodes of our own (the machine's own are never touched): one that
// takes everything and one that is always full.
TEST(TextFileTargets, DevicesAreWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
    test::TempFolder folder("text_file_devices");
    const std::string sink = folder.file("sink"), full = folder.file("full");
    ASSERT_EQ(mknod(sink.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    {
        TextFile file(sink, "Save", 8);
        file.write(std::string(100, 'x'));
        file.close();
    }
    EXPECT_TRUE(fs::is_character_file(sink));
    try {
        TextFile file(full, "Save", 8);
        file.write(std::string(100, 'x'));
        file.close();
        ADD_FAILURE() << "a full device took the text";
    } catch (const UserError& e) {
        EXPECT_EQ(e.text(), "Cannot write the file:\n" + full + "\n" + std::strerror(ENOSPC));
    }
    EXPECT_TRUE(fs::is_character_file(full));
    // A disk is neither written into nor replaced; it is never even opened.
    const std::string disk = folder.file("disk");
    ASSERT_EQ(mknod(disk.c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
    EXPECT_THROW(TextFile(disk, "Save"), UserError);
    EXPECT_TRUE(fs::is_block_file(disk));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"disk", "full", "sink"}));
}

// The owner's choice of who may read a file outlives its replacement.
TEST(TextFileTargets, AReplacedFileKeepsItsModeAndGroup) {
    test::TempFolder folder("text_file_modes");
    const std::string path = folder.file("sorted.txt");
    const bool root = geteuid() == 0;
    for (const mode_t mode : {0600, 0444, 0640, 0755}) {
        {
            TextFile file(path, "Save");
            file.write("old");
            file.close();
        }
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        if (root) {
            ASSERT_EQ(chown(path.c_str(), static_cast<uid_t>(-1), 4321), 0);
        }
        TextFile file(path, "Save");
        file.write("new");
        file.close();
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(st.st_gid, 4321u);
        }
        EXPECT_EQ(contents(path), "new");
        fs::remove(path);
    }
}

// An interrupt takes the unfinished file away and leaves the finished one,
// and the process ends by the signal itself.
TEST(TextFileTargets, AnInterruptRemovesOnlyUnfinishedFiles) {
    test::TempFolder folder("text_file_interrupt");
    const std::string err = folder.file("err.txt");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        installInterruptCleanup("lumera-test");
        TextFile done(folder.file("done.txt"), "Save");
        done.write("whole");
        done.close();
        TextFile part(folder.file("part.txt"), "Save", 4);
        part.write("half a file");
        raise(SIGTERM);
        _exit(0);  // not reached when the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"done.txt", "err.txt"}));
    EXPECT_EQ(contents(folder.file("done.txt")), "whole");
    EXPECT_EQ(contents(err), "lumera-test: stopped by SIGTERM; unfinished files removed, finished ones kept\n");
}

// What a killed run left is cleared by the next run that writes there, and
// nothing else: not a living process's, not another user's, not a fresh one.
TEST(TextFileTargets, ALaterRunClearsAKilledRunsTemporaries) {
    test::TempFolder folder("text_file_stale");
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead), alive = std::to_string(getppid());
    auto make = [&](const std::string& name, long age) {
        const std::string p = folder.file(name);
        std::FILE* f = std::fopen(p.c_str(), "wb");
        std::fputs("part", f);
        std::fclose(f);
        const timespec times[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
        utimensat(AT_FDCWD, p.c_str(), times, 0);
    };
    make(".lumera-" + d + "-0.tmp", 120);
    make(".lumera-" + d + "-1.tmp", 5);
    make(".lumera-" + alive + "-2.tmp", 120);
    make("lumera-" + d + "-3.tmp", 120);
    make(".lumera-" + d + "-4.tmp.keep", 120);
    make(".lumera-" + d + "-x.tmp", 120);
    fs::create_symlink("elsewhere", folder.file(".lumera-" + d + "-5.tmp"));
    std::vector<std::string> kept = {".lumera-" + alive + "-2.tmp",  ".lumera-" + d + "-1.tmp",
                                     ".lumera-" + d + "-4.tmp.keep", ".lumera-" + d + "-5.tmp",
                                     ".lumera-" + d + "-x.tmp",      "lumera-" + d + "-3.tmp"};
    if (geteuid() == 0) {
        make(".lumera-" + d + "-6.tmp", 120);
        ASSERT_EQ(lchown(folder.file(".lumera-" + d + "-6.tmp").c_str(), 4321, 4321), 0);
        kept.push_back(".lumera-" + d + "-6.tmp");
    }
    TextFile file(folder.file("out.txt"), "Save");
    file.write("x");
    file.close();
    kept.push_back("out.txt");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(folder.names(), kept);
}

TEST(NameText, RefusesWhatBreaksAFileName) {
    EXPECT_FALSE(nameTextProblem("A1 (22 C), x.y"));
    EXPECT_TRUE(nameTextProblem("a/b"));
    EXPECT_TRUE(nameTextProblem("a\nb"));
    EXPECT_TRUE(nameTextProblem("ab\r"));
    EXPECT_TRUE(nameTextProblem(std::string_view("a\0b", 3)));
}

// Letting the system drop a file's cached text leaves the file as it was,
// and anything else at a name (nothing, a folder, a pipe no one writes
// into) is passed over without waiting.
TEST(TextFileTargets, ForgettingCachedTextKeepsTheFile) {
    test::TempFolder folder("text_file_forget");
    const std::string path = folder.file("old.txt");
    std::string text;
    for (int i = 0; i < 100000; ++i) text += std::to_string(i) + ",1.5\r\n";
    {
        TextFile file(path, "Save");
        file.write(text);
        file.close();
    }
    forgetCachedText(path);
    EXPECT_TRUE(contents(path) == text);
    const std::string fifo = folder.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    forgetCachedText(fifo);
    forgetCachedText(folder.file("missing.txt"));
    forgetCachedText(folder.path().string());
    EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
}  // namespace lumera
