#pragma once

#include <string>
#include <vector>

#include "core/apdu/transmit.h"
#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

// One simulated card, connected in one reader, with the report it is read into.
namespace zebrik::testing {

class GeneralCardSession {
public:
    explicit GeneralCardSession(sim::CardDescription description) {
        sim::SimReader reader;
        reader.name = "Testleser";
        reader.card = std::make_shared<sim::SimCard>(std::move(description));
        manager.readers.push_back(std::move(reader));
        ContextHandle context = 0;
        manager.EstablishContext(kScardScopeUser, context);
        manager.Connect(context, "Testleser", kShareShared, kProtocolT0 | kProtocolT1, card.handle,
                        protocol);
    }

    // Every command the card received, as hex without separators.
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const sim::Bytes& command : manager.readers.front().card->CommandLog()) {
            std::string hex;
            for (std::uint8_t byte : command) {
                static constexpr char kDigits[] = "0123456789ABCDEF";
                hex += kDigits[byte >> 4];
                hex += kDigits[byte & 0x0F];
            }
            commands.push_back(hex);
        }
        return commands;
    }

    sim::SimResourceManager manager;
    StringReport report;
    ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection card{manager, 0};
    std::uint32_t protocol = 0;
};

}  // namespace zebrik::testing
