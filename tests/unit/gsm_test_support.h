#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/apdu/transmit.h"
#include "sim/card_file.h"
#include "sim/catalog.h"
#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

// A simulated GSM SIM, connected under T=0 in one reader, with the report it is read into
// and the card holder's scripted answers.
namespace zebrik::testing {

inline sim::CardDescription CatalogCard(std::string_view name) {
    auto card = sim::FindCard(name, ZEBRIK_TEST_CARD_DIR);
    if (!card) {
        ADD_FAILURE() << "no card \"" << name << "\" in the catalogue";
        return {};
    }
    return std::move(*card);
}

// The file with the identifier anywhere below `df`; fails the test when there is none.
inline sim::SimFile& FileOf(sim::SimFile& df, std::uint16_t id) {
    std::vector<sim::SimFile*> open{&df};
    while (!open.empty()) {
        sim::SimFile* current = open.back();
        open.pop_back();
        for (sim::SimFile& child : current->children) {
            if (child.id == id) {
                return child;
            }
            open.push_back(&child);
        }
    }
    ADD_FAILURE() << "no file " << std::hex << id;
    return df;
}

inline std::string HexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t byte : bytes) {
        if (!hex.empty()) {
            hex += ' ';
        }
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

class GsmSession {
public:
    explicit GsmSession(sim::CardDescription description,
                        std::initializer_list<PinAnswer> answers = {})
        : prompt(answers) {
        sim::SimReader reader;
        reader.name = "Testleser";
        reader.card = std::make_shared<sim::SimCard>(std::move(description));
        simCard = reader.card;
        manager.readers.push_back(std::move(reader));
        ContextHandle context = 0;
        manager.EstablishContext(kScardScopeUser, context);
        std::uint32_t protocol = 0;
        manager.Connect(context, "Testleser", kShareShared, kProtocolT0 | kProtocolT1, card.handle,
                        protocol);
    }

    // Every command the card received, as hex bytes separated by blanks.
    std::vector<std::string> Commands() const {
        std::vector<std::string> commands;
        for (const sim::Bytes& command : simCard->CommandLog()) {
            commands.push_back(HexText(command));
        }
        return commands;
    }

    // The commands with the given instruction byte (20 VERIFY, 2C UNBLOCK, B2 READ RECORD).
    std::vector<std::string> CommandsWithIns(std::uint8_t ins) const {
        std::vector<std::string> commands;
        for (const sim::Bytes& command : simCard->CommandLog()) {
            if (command.size() > 1 && command[1] == ins) {
                commands.push_back(HexText(command));
            }
        }
        return commands;
    }

    sim::SimResourceManager manager;
    std::shared_ptr<sim::SimCard> simCard;
    StringReport report;
    ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection card{manager, 0};
};

}  // namespace zebrik::testing
