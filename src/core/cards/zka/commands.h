#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "core/apdu/transmit.h"

// The command forms every banking-card reader sends (class 00, T=1): SELECT asks for no
// answer data (P2 0C), READ RECORD reads record P1 of the current EF (P2 04).
namespace zebrik::zka {

using SelectCommand = std::array<std::uint8_t, 7>;
using ReadRecordCommand = std::array<std::uint8_t, 5>;

constexpr SelectCommand SelectDf(std::uint8_t high, std::uint8_t low) {
    return {0x00, 0xA4, 0x01, 0x0C, 0x02, high, low};
}
constexpr SelectCommand SelectEf(std::uint8_t high, std::uint8_t low) {
    return {0x00, 0xA4, 0x02, 0x0C, 0x02, high, low};
}
// Le 00 reads the whole record; Le 02 its first two bytes.
constexpr ReadRecordCommand ReadRecord(std::uint8_t number, std::uint8_t le) {
    return {0x00, 0xB2, number, 0x04, le};
}

inline constexpr std::uint8_t kWholeRecord = 0x00;
inline constexpr std::uint8_t kFirstTwoBytes = 0x02;

inline constexpr SelectCommand kSelectMf = {0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00};
inline constexpr SelectCommand kSelectEfIdentification = SelectEf(0x00, 0x03);
inline constexpr SelectCommand kSelectEfErrorCounters = SelectEf(0x00, 0x16);

inline constexpr SelectCommand kSelectDfPurse = SelectDf(0xA2, 0x00);
inline constexpr SelectCommand kSelectEfPurseAmounts = SelectEf(0x01, 0x04);
inline constexpr SelectCommand kSelectEfPurse = SelectEf(0x01, 0x05);
inline constexpr SelectCommand kSelectEfLoadSequence = SelectEf(0x01, 0x06);
inline constexpr SelectCommand kSelectEfPaymentSequence = SelectEf(0x01, 0x07);
inline constexpr SelectCommand kSelectEfLoadLog = SelectEf(0x01, 0x08);
inline constexpr SelectCommand kSelectEfPaymentLog = SelectEf(0x01, 0x09);

inline constexpr SelectCommand kSelectDfHbci = SelectDf(0xA6, 0x00);
inline constexpr SelectCommand kSelectEfBankConnections = SelectEf(0x03, 0x01);
inline constexpr SelectCommand kSelectEfHbciSequence = SelectEf(0x03, 0x03);

inline constexpr ReadRecordCommand kReadRecord1 = ReadRecord(1, kWholeRecord);
inline constexpr ReadRecordCommand kReadRecord1FirstTwo = ReadRecord(1, kFirstTwoBytes);

// Sends the commands in order through TransmitApdu under T=1 and stops at the first that
// fails (TransmitApdu has reported it). The response holds the last answer.
bool SendInOrder(ReportPane& pane, const CardConnection& card,
                 std::initializer_list<std::span<const std::uint8_t>> commands,
                 ApduResponse& response);

// The data of a received record. A position beyond what the card sent reads as 0, so a
// short record shows zeros, never its own status word or the bytes of an earlier answer.
class RecordData {
public:
    explicit RecordData(const ApduResponse& response) : data_(response.Data()) {}

    std::uint8_t At(std::size_t i) const { return i < data_.size() ? data_[i] : 0; }
    // The received bytes of positions first .. first + count - 1 (fewer, or none, when the
    // record is shorter).
    std::span<const std::uint8_t> Bytes(std::size_t first, std::size_t count) const;

private:
    std::span<const std::uint8_t> data_;
};

// Copies the first `offered` positions of the record into a caller's destination, as many
// as it holds; an empty destination takes nothing.
void CopyInto(std::span<std::uint8_t> destination, const RecordData& record, std::size_t offered);

}  // namespace zebrik::zka
