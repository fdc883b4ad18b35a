#include "pcsc/pcsc_resource_manager.h"

#include <winscard.h>

#include <algorithm>

#include "pcsc/pcsc_mapping.h"
#include "pcsc/pcsc_platform.h"

namespace zebrik {
namespace {

using pcsc::CappedLength;
using pcsc::ToResultCode;

// The values of the analysis are written without the PC/SC headers; these keep them honest,
// against pcsc-lite's headers on Linux and Windows' own in the cross build. (The card
// states differ between the two: pcsc_platform_*.cpp.)
static_assert(kProtocolT0 == SCARD_PROTOCOL_T0 && kProtocolT1 == SCARD_PROTOCOL_T1);
static_assert(kStateEmpty == SCARD_STATE_EMPTY && kStatePresent == SCARD_STATE_PRESENT);
static_assert(kStateExclusive == SCARD_STATE_EXCLUSIVE && kStateInUse == SCARD_STATE_INUSE);
static_assert(kStateMute == SCARD_STATE_MUTE && kStateUnpowered == SCARD_STATE_UNPOWERED);
static_assert(kShareShared == SCARD_SHARE_SHARED && kShareDirect == SCARD_SHARE_DIRECT);
static_assert(kLeaveCard == SCARD_LEAVE_CARD && kInfinite == INFINITE);
static_assert(kScardENoService == static_cast<ResultCode>(SCARD_E_NO_SERVICE));
static_assert(kScardEInsufficientBuffer == static_cast<ResultCode>(SCARD_E_INSUFFICIENT_BUFFER));

SCARDCONTEXT ToContext(ContextHandle context) {
    return static_cast<SCARDCONTEXT>(context);
}
SCARDHANDLE ToCard(CardHandle card) {
    return static_cast<SCARDHANDLE>(card);
}

// The room offered: what the caller says, never more than the span really holds.
DWORD Offered(std::uint32_t length, std::size_t capacity) {
    return static_cast<DWORD>(std::min<std::size_t>(length, capacity));
}

// The result of a call that filled a buffer, and the length it filled. A length beyond
// the buffer cannot come from a well-behaved pcscd; it is never passed on as filled.
ResultCode Filled(LONG result, DWORD filled, std::size_t capacity, std::uint32_t& length) {
    length = 0;
    if (result != SCARD_S_SUCCESS) {
        return ToResultCode(result);
    }
    if (filled > capacity) {
        return kScardEInsufficientBuffer;
    }
    length = static_cast<std::uint32_t>(filled);
    return kScardSuccess;
}

}  // namespace

ResultCode PcscResourceManager::EstablishContext(std::uint32_t scope, ContextHandle& context) {
    SCARDCONTEXT established = 0;
    const LONG result = SCardEstablishContext(scope, nullptr, nullptr, &established);
    context = result == SCARD_S_SUCCESS ? static_cast<ContextHandle>(established) : 0;
    return ToResultCode(result);
}

ResultCode PcscResourceManager::ListReaders(ContextHandle context, std::span<char> readers,
                                            std::uint32_t& length) {
    DWORD filled = Offered(length, readers.size());
    const LONG result = SCardListReaders(ToContext(context), nullptr, readers.data(), &filled);
    const ResultCode code = Filled(result, filled, readers.size(), length);
    if (code == kScardSuccess && !pcsc::NamesToUtf8(readers, length)) {
        length = 0;
        return kScardEInsufficientBuffer;
    }
    return code;
}

ResultCode PcscResourceManager::GetStatusChange(ContextHandle context, std::uint32_t timeout,
                                                ReaderState& state) {
    const std::string reader = pcsc::NameForResourceManager(state.reader);
    SCARD_READERSTATE record{};
    record.szReader = reader.c_str();
    record.dwCurrentState = state.currentState;
    const LONG result = SCardGetStatusChange(ToContext(context), timeout, &record, 1);
    if (result != SCARD_S_SUCCESS) {
        return ToResultCode(result);
    }
    state.eventState = pcsc::EventStateFlags(record.dwEventState);
    // pcsc-lite's record holds at most MAX_ATR_SIZE (33) bytes, Windows' 36 as ours.
    const std::uint32_t atrLength =
        CappedLength(record.cbAtr, std::min(sizeof record.rgbAtr, state.atr.size()));
    state.atr = {};
    std::copy_n(record.rgbAtr, atrLength, state.atr.begin());
    state.atrLength = atrLength;
    return kScardSuccess;
}

ResultCode PcscResourceManager::ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                                          std::span<char> names, std::uint32_t& length) {
    return pcsc::ListKnownCards(static_cast<std::intptr_t>(context), cardList_, atr, names, length);
}

ResultCode PcscResourceManager::Connect(ContextHandle context, const std::string& reader,
                                        std::uint32_t shareMode, std::uint32_t preferredProtocols,
                                        CardHandle& card, std::uint32_t& activeProtocol) {
    SCARDHANDLE handle = 0;
    DWORD protocol = SCARD_PROTOCOL_UNDEFINED;
    const LONG result =
        SCardConnect(ToContext(context), pcsc::NameForResourceManager(reader).c_str(), shareMode,
                     preferredProtocols, &handle, &protocol);
    if (result != SCARD_S_SUCCESS) {
        return ToResultCode(result);
    }
    card = static_cast<CardHandle>(handle);
    activeProtocol = static_cast<std::uint32_t>(protocol);
    return kScardSuccess;
}

ResultCode PcscResourceManager::Status(CardHandle card, std::span<char> readerName,
                                       std::uint32_t& readerNameLength, std::uint32_t& state,
                                       std::uint32_t& protocol, std::span<std::uint8_t> atr,
                                       std::uint32_t& atrLength) {
    DWORD nameLength = Offered(readerNameLength, readerName.size());
    DWORD atrFilled = Offered(atrLength, atr.size());
    DWORD flags = 0;
    DWORD activeProtocol = SCARD_PROTOCOL_UNDEFINED;
    const LONG result = SCardStatus(ToCard(card), readerName.data(), &nameLength, &flags,
                                    &activeProtocol, atr.data(), &atrFilled);
    if (result != SCARD_S_SUCCESS) {
        return ToResultCode(result);
    }
    readerNameLength = CappedLength(nameLength, readerName.size());
    if (!pcsc::NamesToUtf8(readerName, readerNameLength)) {
        readerNameLength = 0;
        return kScardEInsufficientBuffer;
    }
    atrLength = CappedLength(atrFilled, atr.size());
    protocol = static_cast<std::uint32_t>(activeProtocol);
    state = pcsc::CardState(static_cast<std::uint32_t>(flags), protocol);
    return kScardSuccess;
}

ResultCode PcscResourceManager::GetAttrib(CardHandle card, std::uint32_t attributeId,
                                          std::span<std::uint8_t> value, std::uint32_t& length) {
    DWORD filled = Offered(length, value.size());
    const LONG result = SCardGetAttrib(ToCard(card), attributeId, value.data(), &filled);
    return Filled(result, filled, value.size(), length);
}

ResultCode PcscResourceManager::Transmit(CardHandle card, SendPci sendPci,
                                         std::span<const std::uint8_t> command,
                                         std::span<std::uint8_t> response,
                                         std::uint32_t& responseLength) {
    const SCARD_IO_REQUEST* header = sendPci == SendPci::T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    DWORD received = Offered(responseLength, response.size());
    const LONG result = SCardTransmit(ToCard(card), header, command.data(), command.size(), nullptr,
                                      response.data(), &received);
    return Filled(result, received, response.size(), responseLength);
}

ResultCode PcscResourceManager::Disconnect(CardHandle card, std::uint32_t disposition) {
    return ToResultCode(SCardDisconnect(ToCard(card), disposition));
}

ResultCode PcscResourceManager::ReleaseContext(ContextHandle context) {
    return ToResultCode(SCardReleaseContext(ToContext(context)));
}

}  // namespace zebrik
