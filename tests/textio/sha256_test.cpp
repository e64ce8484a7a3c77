#include "textio/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace lumera {
namespace {

// The test vectors of FIPS 180-4's examples (one-block, multi-block, long
// message) and the empty string; the lengths around the padding's block
// boundary and the bytes 0..255 from Python's hashlib.sha256.
TEST(Sha256, StandardVectorsAndPaddingBoundaries) {
    std::string bytes;
    for (int r = 0; r < 4; ++r)
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {bytes, "785b0751fc2c53dc14a4ce3d800e69ef9ce1009eb327ccf458afe09c242c26c9"},
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(63, 'x'), "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {std::string(65, 'x'), "9537c5fdf120482f7d58d25e9ed583f52c02b4e304ea814db1633ad565aed7e9"},
        {std::string(119, 'x'), "000b48d4edf0fa7bee3c6236ecd2785baa5db4eeb8bb54341b029e0d9fa5fb0c"},
        {std::string(120, 'x'), "13f05a0b594787f5ecd315edc96141bd3243203d1b7d4f0836f37308b276ba98"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.size());
        EXPECT_EQ(sha256Hex(c.message), c.digest);
        // Fed in pieces of several sizes, as a reader's blocks come.
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{63}, std::size_t{64}, std::size_t{70}}) {
            Sha256 h;
            for (std::size_t at = 0; at < c.message.size(); at += piece)
                h.update(std::string_view(c.message).substr(at, piece));
            EXPECT_EQ(h.bytes(), c.message.size());
            EXPECT_EQ(h.hexDigest(), c.digest) << piece;
        }
    }
}

}  // namespace
}  // namespace lumera
