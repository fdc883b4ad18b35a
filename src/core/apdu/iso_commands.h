#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The class-00 command forms of ISO 7816-4 that the banking-card, general-file, health card
// and USIM readers send: SELECT asks for no answer data (P2 0C), READ RECORD reads record P1
// of the current EF (P2 04).
namespace zebrik::iso {

using SelectCommand = std::array<std::uint8_t, 7>;
using ReadRecordCommand = std::array<std::uint8_t, 5>;

constexpr SelectCommand SelectDf(std::uint8_t high, std::uint8_t low) {
    return {0x00, 0xA4, 0x01, 0x0C, 0x02, high, low};
}
constexpr SelectCommand SelectEf(std::uint8_t high, std::uint8_t low) {
    return {0x00, 0xA4, 0x02, 0x0C, 0x02, high, low};
}
// SELECT of an application by its identifier (P1 04: by DF name).
template <std::size_t N>
constexpr std::array<std::uint8_t, 5 + N> SelectByName(const std::array<std::uint8_t, N>& aid) {
    std::array<std::uint8_t, 5 + N> command = {0x00, 0xA4, 0x04, 0x0C,
                                               static_cast<std::uint8_t>(N)};
    for (std::size_t i = 0; i < N; ++i) {
        command[5 + i] = aid[i];
    }
    return command;
}
// Le 00 reads the whole record; Le 02 its first two bytes.
constexpr ReadRecordCommand ReadRecord(std::uint8_t number, std::uint8_t le) {
    return {0x00, 0xB2, number, 0x04, le};
}
// From the start of the current EF; Le 00 asks for up to 256 bytes.
constexpr std::array<std::uint8_t, 5> ReadBinary(std::uint8_t le) {
    return {0x00, 0xB0, 0x00, 0x00, le};
}

inline constexpr std::uint8_t kWholeRecord = 0x00;
inline constexpr std::uint8_t kFirstTwoBytes = 0x02;

// The MF without a file identifier, as general-file and health cards take it.
inline constexpr std::array<std::uint8_t, 4> kSelectMf = {0x00, 0xA4, 0x00, 0x0C};
// The MF by its identifier 3F00, the form of the banking cards.
inline constexpr SelectCommand kSelectMfById = {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00};

}  // namespace zebrik::iso
