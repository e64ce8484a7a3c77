// The reader on real files and pipes: which kinds it takes, fields that
// straddle its blocks, and the length cap on a stream that never ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/treatment_files.h"
#include "textio/field_reader.h"
#include "textio/user_error.h"

namespace lumera {
namespace {

template <typename F>
std::string errorOf(F f) {
    try {
        f();
    } catch (const UserError& e) {
        return e.text();
    }
    return "";
}

std::string fdPath(int fd) { return "/dev/fd/" + std::to_string(fd); }

void writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Every field as text.
std::vector<std::string> allFields(FieldReader& r) {
    std::vector<std::string> fields;
    while (!r.atEnd()) fields.push_back(r.readText());
    return fields;
}

TEST(FieldReaderInput, KindsOfFileRefusedWithTheirReason) {
    test::TempFolder dir("reader_kinds");
    const std::string socketPath = dir.file("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    const std::string loop = dir.file("loop");
    std::filesystem::create_symlink(dir.file("loop2"), loop);
    std::filesystem::create_symlink(loop, dir.file("loop2"));
    const std::string folder = dir.path().string();
    const std::string longName = dir.file(std::string(300, 'n'));
    const std::string missing = dir.file("missing.txt");

    const struct {
        std::string path, expected;
    } cases[] = {
        {folder, "File: " + folder + "\n" + folder + " is a folder, not a data file."},
        {"/dev/zero", "File: /dev/zero\n/dev/zero is not a regular file or pipe."},
        {socketPath, "File: " + socketPath + "\n" + socketPath + " is not a regular file or pipe."},
        {missing, "Cannot open the file:\n" + missing + "\n" + std::strerror(ENOENT)},
        {longName, "Cannot open the file:\n" + longName + "\n" + std::strerror(ENAMETOOLONG)},
        {loop, "Cannot open the file:\n" + loop + "\n" + std::strerror(ELOOP)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(errorOf([&] { FieldReader::fromFile(c.path, "Read"); }), c.expected) << c.path;
    ::close(sock);
}

// A pipe whose writer pauses: the reader must wait rather than take the
// pause for the end, both for a named pipe and one passed as /dev/fd/N.
TEST(FieldReaderInput, ReadsPipesAsTheyArrive) {
    test::TempFolder dir("reader_pipes");
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);

    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "named pipe" : "/dev/fd");
        std::thread writer([&] {
            const int fd = named ? ::open(fifo.c_str(), O_WRONLY) : ends[1];
            writeAll(fd, "\xEF\xBB\xBF\"p, q\",1\r");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            writeAll(fd, "\n \r\n,2\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            writeAll(fd, " \n\n");
            ::close(fd);
        });
        // Releases a writer still waiting to open if the reader never did.
        int rescue = -1;
        {
            FieldReader r = FieldReader::fromFile(named ? fifo : fdPath(ends[0]), "Read", 3);
            if (!named) ::close(ends[0]);
            EXPECT_EQ(r.readText(), "p, q");
            EXPECT_EQ(r.readNumber(), 1);
            EXPECT_FALSE(r.atEnd());
            EXPECT_EQ(r.readText(), "");
            EXPECT_EQ(r.readNumber(), 2);
            EXPECT_TRUE(r.atEnd());
            EXPECT_EQ(r.fieldNumber(), 4);
        }
        if (named) rescue = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        writer.join();
        if (rescue >= 0) ::close(rescue);
    }
}

// Any block size, down to one byte, gives the fields of the whole text.
TEST(FieldReaderInput, FieldsAcrossBlockBoundaries) {
    test::TempFolder dir("reader_blocks");
    const std::string text =
        "\xEF\xBB\xBF\"Cart. number\",\"a, b\" ,\r\n 12 , -.5\r\n\r\n3E-2,\nx y \r\"q\"junk,+4\n"
        "\"two\r\nlines\",,\t\"\",\r\r\n\n  last  ";
    const std::string path = dir.file("fields.txt");
    std::ofstream(path, std::ios::binary) << text;
    FieldReader whole(text, path, "Read");
    const std::vector<std::string> expected = allFields(whole);
    ASSERT_EQ(expected.size(), 12u);
    for (std::size_t block = 1; block <= 24; ++block) {
        FieldReader r = FieldReader::fromFile(path, "Read", block);
        EXPECT_EQ(allFields(r), expected) << "block of " << block;
        EXPECT_EQ(r.fieldNumber(), 12) << "block of " << block;
    }

    // Several default blocks of numbers, read to the last.
    const std::string big = dir.file("big.txt");
    {
        std::ofstream out(big, std::ios::binary);
        for (int i = 1; i <= 300000; ++i) out << i << ',' << i << ".5\r\n";
    }
    FieldReader r = FieldReader::fromFile(big, "Read");
    int i = 0;
    bool same = true;
    while (!r.atEnd()) {
        ++i;
        same = same && r.readNumber() == i && r.readNumber() == i + 0.5;
    }
    EXPECT_TRUE(same);
    EXPECT_EQ(i, 300000);
}

TEST(FieldReaderInput, FieldLengthIsCapped) {
    const std::size_t cap = FieldReader::kMaxField;
    FieldReader fits(std::string(cap, '7') + ",\"" + std::string(cap - 2, 'x') + "\"", "in.dat", "Read");
    EXPECT_EQ(fits.readText().size(), cap);
    EXPECT_EQ(fits.readText().size(), cap - 2);
    FieldReader over("1,\n" + std::string(cap + 1, '7'), "in.dat", "Read");
    over.readText();
    EXPECT_EQ(errorOf([&] { over.readText(); }),
              "in.dat, line 2, field 2: the field is too long (more than 65536 characters).");

    // Through a pipe that would go on far longer: the reader must stop after
    // about a block, not load the stream first.
    for (const std::string& start : {std::string(), std::string("1,\n\"")}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::atomic<bool> stop{false};
        std::atomic<std::size_t> written{0};
        std::thread writer([&] {
            writeAll(ends[1], start);
            const std::string chunk(1 << 16, '1');
            while (!stop && written < (std::size_t{64} << 20)) {
                writeAll(ends[1], chunk);
                written += chunk.size();
            }
            ::close(ends[1]);
        });
        const std::string path = fdPath(ends[0]);
        const std::string message = errorOf([&] {
            FieldReader r = FieldReader::fromFile(path, "Read");
            while (true) r.readText();
        });
        stop = true;
        char sink[1 << 16];
        while (::read(ends[0], sink, sizeof sink) > 0) {
        }
        writer.join();
        ::close(ends[0]);
        EXPECT_EQ(message, path + (start.empty() ? ", line 1, field 1" : ", line 2, field 2") +
                               ": the field is too long (more than 65536 characters).");
        EXPECT_LT(written.load(), std::size_t{8} << 20);
    }
}

}  // namespace
}  // namespace lumera
