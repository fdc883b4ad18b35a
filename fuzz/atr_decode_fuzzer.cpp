// The ATR decoder over any bytes, without and with a reader clock: its text is UTF-8, whole
// lines ended by CR LF, no longer than promised, and calls every ATR faulty that cannot be
// right (empty, longer than 33 bytes, TS neither 3B nor 3F).
//
// Bytes 0 to 3 are the reader's default clock in kHz (little-endian), the rest the ATR.
#include <cstring>

#include "core/analysis/atr_decode.h"
#include "fuzz.h"

namespace {

void RequireSoundBlock(const std::string& block, std::span<const std::uint8_t> atr) {
    using zebrik::fuzz::Require;
    Require(!block.empty() && block.size() <= zebrik::kLongestAtrDescription,
            "an ATR block that is empty or longer than promised");
    zebrik::fuzz::RequireText(block);
    for (std::size_t i = 0; i < block.size(); ++i) {
        const bool lineEnd =
            block.compare(i, 2, "\r\n") == 0 || (i > 0 && block.compare(i - 1, 2, "\r\n") == 0);
        Require(lineEnd || (block[i] != '\r' && block[i] != '\n'),
                "a CR or LF in an ATR block that is not a CR LF line end");
    }
    Require(block.ends_with("\r\n"), "an ATR block whose last line has no CR LF");
    const bool faulty =
        atr.empty() || atr.size() > zebrik::kLongestValidAtr || (atr[0] != 0x3B && atr[0] != 0x3F);
    Require(!faulty || block.find("Der ATR ist fehlerhaft: ") != block.npos,
            "an ATR that cannot be right, not called faulty");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t clock = 0;  // little-endian, as the seeds write it, on the hosts we fuzz on
    std::memcpy(&clock, data, std::min<std::size_t>(size, 4));
    // A copy of exactly the ATR's length, so that one byte too far is a heap overflow.
    const std::vector<std::uint8_t> atr(data + std::min<std::size_t>(size, 4), data + size);
    RequireSoundBlock(zebrik::DescribeAtr(atr), atr);
    RequireSoundBlock(zebrik::DescribeAtr(atr, clock), atr);
    return 0;
}
