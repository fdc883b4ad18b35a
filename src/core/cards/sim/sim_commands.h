#pragma once

#include <array>
#include <cstdint>
#include <span>

// The GSM 11.11 commands (class A0, T=0) that the SIM readers send.
namespace zebrik::sim_commands {

inline constexpr std::uint8_t kClaGsm = 0xA0;

constexpr std::array<std::uint8_t, 7> Select(std::uint16_t fileId) {
    return {kClaGsm,
            0xA4,
            0x00,
            0x00,
            0x02,
            static_cast<std::uint8_t>(fileId >> 8),
            static_cast<std::uint8_t>(fileId & 0xFF)};
}
constexpr std::array<std::uint8_t, 5> ReadBinary(std::uint8_t length) {
    return {kClaGsm, 0xB0, 0x00, 0x00, length};
}
// Absolute record mode (P2 04).
constexpr std::array<std::uint8_t, 5> ReadRecord(std::uint8_t record, std::uint8_t length) {
    return {kClaGsm, 0xB2, record, 0x04, length};
}

inline constexpr auto kSelectMf = Select(0x3F00);
inline constexpr auto kSelectDfGsm = Select(0x7F20);
inline constexpr auto kSelectDfTelecom = Select(0x7F10);
inline constexpr auto kSelectEfIccid = Select(0x2FE2);
inline constexpr auto kSelectEfPhase = Select(0x6FAE);
inline constexpr auto kSelectEfImsi = Select(0x6F07);
inline constexpr auto kSelectEfSst = Select(0x6F38);
inline constexpr auto kSelectEfSpn = Select(0x6F46);
inline constexpr auto kReadBinaryIccid = ReadBinary(0x0A);
inline constexpr auto kReadBinaryPhase = ReadBinary(0x01);
inline constexpr auto kReadBinaryImsi = ReadBinary(0x09);
inline constexpr auto kReadBinarySpn = ReadBinary(0x11);

}  // namespace zebrik::sim_commands
