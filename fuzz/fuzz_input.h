#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/ports/resource_manager.h"

// The fuzz input as the fake card and the fake resource manager read it, after OpenSC's
// fuzzing reader: a series of chunks, each with a 2-byte length in front (big-endian),
// one chunk per resource-manager call or PIN prompt, in the order the program asks.
//
// The two high bits of the length word are flags, the low 14 bits the chunk's length:
//   bit 15: the chunk starts with a result code (see TakeResultCode): the call fails;
//   bit 14: then follows a 4-byte claimed length (little-endian) that the call reports
//           instead of the number of bytes it filled, so lengths above the capacity the
//           caller offered, and 0 or 1, are reachable;
// then a fixed number of 4-byte values (little-endian) that depends on the call, then
// the data (response bytes, a multi-string, an ATR, an attribute value).
namespace zebrik::fuzz {

inline constexpr std::uint16_t kFlagResult = 0x8000;
inline constexpr std::uint16_t kFlagClaimedLength = 0x4000;
inline constexpr std::uint16_t kLengthMask = 0x3FFF;

// Result codes a chunk can name by one byte: index 0 to 15. Any other byte is followed
// by the four bytes of a raw code.
inline constexpr std::array<ResultCode, 16> kResultCodes = {
    kScardWRemovedCard,
    kScardEReaderUnavailable,
    kScardENoService,
    kScardECommDataLost,
    kScardEInsufficientBuffer,
    kScardWResetCard,
    kScardWUnresponsiveCard,
    kScardWUnpoweredCard,
    kScardENotTransacted,
    kScardEProtoMismatch,
    kScardEInvalidValue,
    kScardENoSmartcard,
    kScardESharingViolation,
    kScardEUnknownReader,
    kErrorIoDevice,
    kErrorCrc,
};

// How many 4-byte values the chunk of each call carries before its data.
//   GetStatusChange: event state; data: the ATR
//   Connect: handle (0: none), active protocol
//   Status: card state, protocol; data: reader name and ATR
//   all others: none; data: the list, names, attribute value or response
inline constexpr std::size_t kStatusChangeValues = 1;
inline constexpr std::size_t kConnectValues = 2;
inline constexpr std::size_t kStatusValues = 2;

// What one chunk says about one call.
struct Answer {
    ResultCode code = kScardSuccess;
    std::optional<std::uint32_t> claimedLength;
    std::array<std::uint32_t, 2> values{};
    std::span<const std::uint8_t> data;
};

class ChunkReader {
public:
    explicit ChunkReader(std::span<const std::uint8_t> input) : rest_(input) {}

    bool Exhausted() const { return rest_.empty(); }

    // Raw bytes from the front, for a fixed header; missing bytes read as 0.
    std::uint8_t TakeByte() {
        if (rest_.empty()) {
            return 0;
        }
        const std::uint8_t byte = rest_.front();
        rest_ = rest_.subspan(1);
        return byte;
    }

    // The next chunk with `valueCount` (at most 2) 4-byte values; nullopt once the input
    // is used up. A length beyond what is left takes what is left.
    std::optional<Answer> Next(std::size_t valueCount) {
        if (rest_.size() < 2) {
            rest_ = {};
            return std::nullopt;
        }
        const std::uint16_t word = static_cast<std::uint16_t>((rest_[0] << 8) | rest_[1]);
        const std::size_t length = std::min<std::size_t>(word & kLengthMask, rest_.size() - 2);
        std::span<const std::uint8_t> body = rest_.subspan(2, length);
        rest_ = rest_.subspan(2 + length);

        Answer answer;
        if ((word & kFlagResult) != 0) {
            answer.code = TakeResultCode(body);
        }
        if ((word & kFlagClaimedLength) != 0) {
            answer.claimedLength = TakeWord(body);
        }
        for (std::size_t i = 0; i < valueCount && i < answer.values.size(); ++i) {
            answer.values[i] = TakeWord(body);
        }
        answer.data = body;
        return answer;
    }

    // The body of the next chunk without any interpretation (PIN prompts).
    std::optional<std::span<const std::uint8_t>> NextBody() {
        if (rest_.size() < 2) {
            rest_ = {};
            return std::nullopt;
        }
        const std::size_t length =
            std::min<std::size_t>(((rest_[0] << 8) | rest_[1]) & kLengthMask, rest_.size() - 2);
        const std::span<const std::uint8_t> body = rest_.subspan(2, length);
        rest_ = rest_.subspan(2 + length);
        return body;
    }

private:
    static std::uint32_t TakeWord(std::span<const std::uint8_t>& body) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4 && !body.empty(); ++i) {
            value |= static_cast<std::uint32_t>(body.front()) << (8 * i);
            body = body.subspan(1);
        }
        return value;
    }
    static ResultCode TakeResultCode(std::span<const std::uint8_t>& body) {
        if (body.empty()) {
            return kScardWRemovedCard;
        }
        const std::uint8_t index = body.front();
        body = body.subspan(1);
        if (index < kResultCodes.size()) {
            return kResultCodes[index];
        }
        return TakeWord(body);
    }

    std::span<const std::uint8_t> rest_;
};

// Builds inputs in the same format, for the seed corpus.
class ChunkWriter {
public:
    void Byte(std::uint8_t byte) { bytes_.push_back(byte); }

    void Chunk(const Answer& answer, std::size_t valueCount) {
        std::vector<std::uint8_t> body;
        std::uint16_t flags = 0;
        if (answer.code != kScardSuccess) {
            flags |= kFlagResult;
            const auto known = std::find(kResultCodes.begin(), kResultCodes.end(), answer.code);
            if (known != kResultCodes.end()) {
                body.push_back(static_cast<std::uint8_t>(known - kResultCodes.begin()));
            } else {
                body.push_back(0xFF);
                PutWord(body, answer.code);
            }
        }
        if (answer.claimedLength) {
            flags |= kFlagClaimedLength;
            PutWord(body, *answer.claimedLength);
        }
        for (std::size_t i = 0; i < valueCount && i < answer.values.size(); ++i) {
            PutWord(body, answer.values[i]);
        }
        body.insert(body.end(), answer.data.begin(), answer.data.end());
        Body(body, flags);
    }

    void Body(std::span<const std::uint8_t> body, std::uint16_t flags = 0) {
        const std::size_t length = std::min<std::size_t>(body.size(), kLengthMask);
        const auto word = static_cast<std::uint16_t>(flags | length);
        bytes_.push_back(static_cast<std::uint8_t>(word >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(word & 0xFF));
        bytes_.insert(bytes_.end(), body.begin(), body.begin() + static_cast<long>(length));
    }

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    static void PutWord(std::vector<std::uint8_t>& body, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            body.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace zebrik::fuzz
