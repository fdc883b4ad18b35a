// The ATR decoder over any bytes, without and with a reader clock: its text must be UTF-8,
// made of whole lines ended by CR LF, no longer than promised, and must call every ATR
// faulty that cannot be right (empty, longer than 33 bytes, TS neither 3B nor 3F).
//
// Input: bytes 0 to 3 are the reader's default clock in kHz (little-endian), the rest is
// the ATR, of any length.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/atr_decode.h"
#include "fuzz_fakes.h"

namespace {

void RequireSoundBlock(const std::string& block, std::span<const std::uint8_t> atr) {
    using zebrik::fuzz::Finding;
    if (block.empty() || block.size() > zebrik::kLongestAtrDescription) {
        Finding("an ATR block that is empty or longer than promised");
    }
    if (!zebrik::fuzz::IsValidUtf8(block) || block.find('\0') != std::string::npos) {
        Finding("an ATR block that is not UTF-8 or holds a NUL");
    }
    for (std::size_t i = 0; i < block.size(); ++i) {
        const bool lineEnd = block[i] == '\r' && i + 1 < block.size() && block[i + 1] == '\n';
        if ((block[i] == '\r' && !lineEnd) ||
            (block[i] == '\n' && (i == 0 || block[i - 1] != '\r'))) {
            Finding("a CR or LF in an ATR block that is not a CR LF line end");
        }
    }
    if (!block.ends_with("\r\n")) {
        Finding("an ATR block whose last line has no CR LF");
    }
    const bool mustBeFaulty =
        atr.empty() || atr.size() > zebrik::kLongestValidAtr || (atr[0] != 0x3B && atr[0] != 0x3F);
    if (mustBeFaulty && block.find("Der ATR ist fehlerhaft: ") == std::string::npos) {
        Finding("an ATR that cannot be right, not called faulty");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t clock = 0;
    const std::size_t clockBytes = size < 4 ? size : 4;
    for (std::size_t i = 0; i < clockBytes; ++i) {
        clock |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    // A copy of exactly the ATR's length, so that one byte too far is a heap overflow.
    const std::vector<std::uint8_t> atr(data + clockBytes, data + size);
    RequireSoundBlock(zebrik::DescribeAtr(atr), atr);
    RequireSoundBlock(zebrik::DescribeAtr(atr, clock), atr);
    return 0;
}
