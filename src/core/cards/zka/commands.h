#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/apdu/iso_commands.h"
#include "core/apdu/transmit.h"

// The files every banking-card reader selects, each path from the MF by its identifier.
namespace zebrik::zka {

using iso::SelectCommand;

inline constexpr SelectCommand kSelectEfIdentification = iso::SelectEf(0x00, 0x03);
inline constexpr SelectCommand kSelectEfErrorCounters = iso::SelectEf(0x00, 0x16);

inline constexpr SelectCommand kSelectDfPurse = iso::SelectDf(0xA2, 0x00);
inline constexpr SelectCommand kSelectEfPurseAmounts = iso::SelectEf(0x01, 0x04);
inline constexpr SelectCommand kSelectEfPurse = iso::SelectEf(0x01, 0x05);
inline constexpr SelectCommand kSelectEfLoadSequence = iso::SelectEf(0x01, 0x06);
inline constexpr SelectCommand kSelectEfPaymentSequence = iso::SelectEf(0x01, 0x07);
inline constexpr SelectCommand kSelectEfLoadLog = iso::SelectEf(0x01, 0x08);
inline constexpr SelectCommand kSelectEfPaymentLog = iso::SelectEf(0x01, 0x09);

inline constexpr SelectCommand kSelectDfHbci = iso::SelectDf(0xA6, 0x00);
inline constexpr SelectCommand kSelectEfBankConnections = iso::SelectEf(0x03, 0x01);
inline constexpr SelectCommand kSelectEfHbciSequence = iso::SelectEf(0x03, 0x03);

inline constexpr SelectCommand kSelectDfSignature = iso::SelectDf(0xAB, 0x00);

inline constexpr auto kReadRecord1 = iso::ReadRecord(1, iso::kWholeRecord);
inline constexpr auto kReadRecord1FirstTwo = iso::ReadRecord(1, iso::kFirstTwoBytes);

// Positions first .. first + count - 1 of a record as hex digits; a position the card did
// not send shows 00.
std::string HexField(const ApduResponse& record, std::size_t first, std::size_t count);

// The two bytes of a counter record. An error counter shows its second byte (attempts
// left) and its first (attempts allowed) in decimal; a sequence number four hex digits.
enum class TwoByteValue { ErrorCounter, SequenceNumber };

std::string TwoByteText(const ApduResponse& record, TwoByteValue kind);

// Reads the first two bytes of record 1 of an EF in a DF, both selected from the MF, and
// writes them on a line of their own after `label`; the destination receives the two
// bytes. Returns 1, or 0 when a command failed (already reported).
int ReadTwoByteRecord(ReportAndPrompt& pane, const CardConnection& card, const SelectCommand& df,
                      const SelectCommand& ef, std::string_view label, TwoByteValue kind,
                      std::span<std::uint8_t> destination);

}  // namespace zebrik::zka
