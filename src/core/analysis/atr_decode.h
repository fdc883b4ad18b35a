#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// The Answer-to-Reset explained byte by byte (ISO/IEC 7816-3 for the interface bytes,
// ISO/IEC 7816-4 for the historical bytes).
namespace zebrik {

// TS and at most 32 further bytes: the longest ATR a card may send.
inline constexpr std::size_t kLongestValidAtr = 33;

// The longest text DescribeAtr gives (the fuzz target holds it to that).
inline constexpr std::size_t kLongestAtrDescription = 8192;

// The lines that explain the ATR, each ended by "\r\n", in UTF-8: the convention (TS), the
// bytes announced by T0, the interface bytes of every round and what they set, the
// protocols offered, the historical bytes (hexadecimal, as text, and their objects) and the
// check byte TCK. An ATR that breaks the rules is explained as far as it goes, and the last
// line names it faulty. Nothing past the ATR is read, and the text stays within
// kLongestAtrDescription bytes whatever the input.
//
// The rates that TA1 sets are given at `defaultClockKHz`, the reader's default clock, when
// it is known (and not 0); otherwise at the card's f(max) and at 3.5712 MHz, the clock at
// which the initial 372 cycles per bit make 9600 bit/s.
std::string DescribeAtr(std::span<const std::uint8_t> atr,
                        std::optional<std::uint32_t> defaultClockKHz = std::nullopt);

}  // namespace zebrik
