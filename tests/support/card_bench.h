#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/apdu/transmit.h"
#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

namespace zebrik::testing {

// Bytes as the tests write them: "A0 C0 00 00 0F".
inline std::string SpacedHex(const sim::Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

// One simulated card in the only reader, connected shared, with a report that keeps its
// text and a card holder who answers from a script.
class CardBench {
public:
    explicit CardBench(sim::CardDescription description)
        : card(std::make_shared<sim::SimCard>(std::move(description))) {
        sim::SimReader reader;
        reader.name = "Testleser 0";
        reader.card = card;
        manager.readers.push_back(std::move(reader));
        ContextHandle context = 0;
        manager.EstablishContext(kScardScopeUser, context);
        std::uint32_t protocol = 0;
        manager.Connect(context, "Testleser 0", kShareShared, kProtocolT0 | kProtocolT1,
                        connection.handle, protocol);
        sendPci = protocol == kProtocolT0 ? SendPci::T0 : SendPci::T1;
    }

    // TransmitApdu with a fresh buffer of `capacity` bytes offered.
    int Transmit(const sim::Bytes& command, std::uint32_t capacity = kResponseCapacity,
                 StatusWordTakeover* takeover = nullptr) {
        response.assign(kResponseCapacity, 0);
        length = capacity;
        return TransmitApdu(pane, connection, sendPci, command, response, length, takeover);
    }

    // Every command the card received since the last ClearLog, as spaced hex.
    std::vector<std::string> Log() const {
        std::vector<std::string> log;
        for (const sim::Bytes& command : card->CommandLog()) {
            log.push_back(SpacedHex(command));
        }
        return log;
    }

    // What the last Transmit left in the buffer, as far as the length says.
    std::string Received() const {
        const std::size_t n = length < response.size() ? length : response.size();
        return SpacedHex(sim::Bytes(response.begin(), response.begin() + static_cast<long>(n)));
    }

    std::size_t TransmitCalls() const {
        std::size_t count = 0;
        for (const sim::CallRecord& record : manager.Calls()) {
            count += record.call == sim::Call::Transmit ? 1 : 0;
        }
        return count;
    }

    sim::SimResourceManager manager;
    std::shared_ptr<sim::SimCard> card;
    StringReport report;
    ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection connection{manager};
    SendPci sendPci = SendPci::T1;
    sim::Bytes response;
    std::uint32_t length = 0;
};

}  // namespace zebrik::testing
