#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ports/resource_manager.h"
#include "sim/sim_card.h"

namespace zebrik::sim {

struct SimReader {
    std::string name;
    std::shared_ptr<SimCard> card;  // null: empty reader
    // Attribute id -> value; numbers as 4 bytes in host order (see NumberAttribute).
    std::map<std::uint32_t, Bytes> attributes;
    std::uint32_t extraEventFlags = 0;         // e.g. kStateExclusive, kStateMute
    std::uint32_t cardState = kCardSpecific;   // what the status query reports
    ResultCode connectResult = kScardSuccess;  // e.g. a sharing violation
    bool vanished = false;  // listed, but gone when asked for its state or connected
};

Bytes NumberAttribute(std::uint32_t value);
Bytes TextAttribute(std::string_view text, bool countNul = true);

enum class Call {
    EstablishContext,
    ListReaders,
    GetStatusChange,
    ListCards,
    Connect,
    Status,
    GetAttrib,
    Transmit,
    Disconnect,
    ReleaseContext,
};
const char* CallName(Call call);

struct CallRecord {
    Call call;
    ResultCode result;
    std::uint64_t handle = 0;    // context or card handle the call was about
    std::uint32_t argument = 0;  // Disconnect: disposition; Connect: share mode; GetAttrib: id
    CardHandle connected = 0;    // Connect: the card handle it handed out
};

// An in-process resource manager over simulated readers, with a log of every call and
// fault injection on any of them.
class SimResourceManager : public ResourceManager {
public:
    SimResourceManager() = default;
    explicit SimResourceManager(std::vector<SimReader> readers) : readers(std::move(readers)) {}

    std::vector<SimReader> readers;
    // Asked before every call with the call and its index among all calls (from 0);
    // a non-zero code makes that call fail with it and do nothing else.
    std::function<ResultCode(Call call, std::size_t index)> fault;
    // Card names for an ATR, as a multi-string; empty: the query fails.
    std::function<std::string(std::span<const std::uint8_t> atr)> cardNames;

    const std::vector<CallRecord>& Calls() const { return calls_; }
    std::size_t OpenConnections() const { return open_.size(); }
    bool ContextOpen() const { return contextOpen_; }
    // Every Disconnect so far used SCARD_LEAVE_CARD.
    bool AllDisconnectsLeftCard() const;

    ResultCode EstablishContext(std::uint32_t scope, ContextHandle& context) override;
    ResultCode ListReaders(ContextHandle context, std::span<char> readers,
                           std::uint32_t& length) override;
    ResultCode GetStatusChange(ContextHandle context, std::uint32_t timeout,
                               ReaderState& state) override;
    ResultCode ListCards(ContextHandle context, std::span<const std::uint8_t> atr,
                         std::span<char> names, std::uint32_t& length) override;
    ResultCode Connect(ContextHandle context, const std::string& reader, std::uint32_t shareMode,
                       std::uint32_t preferredProtocols, CardHandle& card,
                       std::uint32_t& activeProtocol) override;
    ResultCode Status(CardHandle card, std::span<char> readerName, std::uint32_t& readerNameLength,
                      std::uint32_t& state, std::uint32_t& protocol, std::span<std::uint8_t> atr,
                      std::uint32_t& atrLength) override;
    ResultCode GetAttrib(CardHandle card, std::uint32_t attributeId, std::span<std::uint8_t> value,
                         std::uint32_t& length) override;
    ResultCode Transmit(CardHandle card, SendPci sendPci, std::span<const std::uint8_t> command,
                        std::span<std::uint8_t> response, std::uint32_t& responseLength) override;
    ResultCode Disconnect(CardHandle card, std::uint32_t disposition) override;
    ResultCode ReleaseContext(ContextHandle context) override;

private:
    ResultCode Enter(Call call, std::uint64_t handle, std::uint32_t argument = 0);
    // Keeps the result of the call Enter began, and returns it.
    ResultCode Done(ResultCode result);
    SimReader* FindReader(const std::string& name);
    SimReader* ReaderOf(CardHandle card);

    std::vector<CallRecord> calls_;
    bool contextOpen_ = false;
    ContextHandle context_ = 0;
    std::map<CardHandle, std::string> open_;  // handle -> reader name
    CardHandle nextHandle_ = 0x1000;
};

}  // namespace zebrik::sim
