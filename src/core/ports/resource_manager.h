#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zebrik {

using ResultCode = std::uint32_t;
using ContextHandle = std::uint64_t;
using CardHandle = std::uint64_t;

// Result codes of the PC/SC interface that the program names.
inline constexpr ResultCode kScardSuccess = 0;
inline constexpr ResultCode kScardEInvalidValue = 0x80100011;
inline constexpr ResultCode kScardESharingViolation = 0x8010000B;
inline constexpr ResultCode kScardEInsufficientBuffer = 0x80100008;
inline constexpr ResultCode kScardEReaderUnavailable = 0x80100017;
inline constexpr ResultCode kScardENoSmartcard = 0x8010000C;
inline constexpr ResultCode kScardENoService = 0x8010001D;
inline constexpr ResultCode kScardENoReadersAvailable = 0x8010002E;
inline constexpr ResultCode kScardECommDataLost = 0x8010002F;
inline constexpr ResultCode kScardEUnknownReader = 0x80100009;
inline constexpr ResultCode kScardEProtoMismatch = 0x8010000F;
inline constexpr ResultCode kScardENotTransacted = 0x80100016;
inline constexpr ResultCode kScardWUnresponsiveCard = 0x80100066;
inline constexpr ResultCode kScardWUnpoweredCard = 0x80100067;
inline constexpr ResultCode kScardWResetCard = 0x80100068;
inline constexpr ResultCode kScardWRemovedCard = 0x80100069;
inline constexpr ResultCode kErrorIoDevice = 0x45D;
inline constexpr ResultCode kErrorBadCommand = 0x16;
inline constexpr ResultCode kErrorCrc = 0x17;

inline constexpr std::uint32_t kScardScopeUser = 0;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// Event-state flags of a reader.
inline constexpr std::uint32_t kStateUnaware = 0x0000;
inline constexpr std::uint32_t kStateEmpty = 0x0010;
inline constexpr std::uint32_t kStatePresent = 0x0020;
inline constexpr std::uint32_t kStateExclusive = 0x0080;
inline constexpr std::uint32_t kStateInUse = 0x0100;
inline constexpr std::uint32_t kStateMute = 0x0200;
inline constexpr std::uint32_t kStateUnpowered = 0x0400;

// Card states as the status query reports them (1 to 6).
inline constexpr std::uint32_t kCardAbsent = 1;
inline constexpr std::uint32_t kCardPresent = 2;
inline constexpr std::uint32_t kCardSwallowed = 3;
inline constexpr std::uint32_t kCardPowered = 4;
inline constexpr std::uint32_t kCardNegotiable = 5;
inline constexpr std::uint32_t kCardSpecific = 6;

inline constexpr std::uint32_t kShareShared = 2;
inline constexpr std::uint32_t kShareDirect = 3;
inline constexpr std::uint32_t kLeaveCard = 0;

inline constexpr std::uint32_t kProtocolUndefined = 0;
inline constexpr std::uint32_t kProtocolT0 = 1;
inline constexpr std::uint32_t kProtocolT1 = 2;

// The protocol header a transmission is sent with.
enum class SendPci { T0, T1 };

inline constexpr std::size_t kMaxAtrLength = 36;

// One reader-state record of the status-change query.
struct ReaderState {
    std::string reader;
    std::uint32_t currentState = kStateUnaware;
    std::uint32_t eventState = 0;  // state flags only; no event counter
    std::uint32_t atrLength = 0;
    std::array<std::uint8_t, kMaxAtrLength> atr{};
};

// The smart-card resource manager, one method per operation the analysis uses.
// Buffers are spans; an in/out length starts as the room the caller offers and comes
// back as the number of bytes used, as in the PC/SC interface.
class ResourceManager {
public:
    virtual ~ResourceManager() = default;

    virtual ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) = 0;
    // Fills a multi-string: NUL-terminated names, ended by an empty string.
    virtual ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                                   std::uint32_t& length) = 0;
    virtual ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                                       ReaderState& state) = 0;
    // Card names known for the ATR, as a multi-string.
    virtual ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                                 std::span<char> names, std::uint32_t& length) = 0;
    virtual ResultCode Connect(ContextHandle context, const std::string& reader,
                               std::uint32_t shareMode, std::uint32_t preferredProtocols,
                               CardHandle& card, std::uint32_t& activeProtocol) = 0;
    // state is one of kCardAbsent..kCardSpecific (or anything else for an unknown state).
    virtual ResultCode Status(CardHandle card, std::span<char> readerName,
                              std::uint32_t& readerNameLength, std::uint32_t& state,
                              std::uint32_t& protocol, std::span<std::uint8_t> atr,
                              std::uint32_t& atrLength) = 0;
    virtual ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId,
                                 std::span<std::uint8_t> value, std::uint32_t& length) = 0;
    // responseLength: room offered on entry, bytes received on return.
    virtual ResultCode Transmit(CardHandle card, SendPci sendPci,
                                std::span<const std::uint8_t> command,
                                std::span<std::uint8_t> response,
                                std::uint32_t& responseLength) = 0;
    virtual ResultCode Disconnect(CardHandle card, std::uint32_t disposition) = 0;
    virtual ResultCode ReleaseContext(ContextHandle context) = 0;
};

}  // namespace zebrik
