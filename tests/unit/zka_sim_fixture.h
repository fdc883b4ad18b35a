#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/apdu/transmit.h"
#include "sim/sim_card.h"
#include "sim/sim_resource_manager.h"
#include "support/fakes.h"

// One simulated T=1 card in one simulated reader, connected, with the report it writes to.
namespace zebrik::testing {

class SimCardSession {
public:
    explicit SimCardSession(sim::CardDescription description) {
        sim::SimReader reader;
        reader.name = "Testleser";
        reader.card = std::make_shared<sim::SimCard>(std::move(description));
        card_ = reader.card;
        manager.readers.push_back(std::move(reader));
        ContextHandle context = 0;
        manager.EstablishContext(kScardScopeUser, context);
        std::uint32_t protocol = 0;
        manager.Connect(context, "Testleser", kShareShared, kProtocolT0 | kProtocolT1,
                        connection.handle, protocol);
    }

    const std::vector<sim::Bytes>& Commands() const { return card_->CommandLog(); }

    // How many commands began with these bytes.
    std::size_t CountCommands(const sim::Bytes& prefix) const {
        std::size_t count = 0;
        for (const sim::Bytes& command : Commands()) {
            if (command.size() >= prefix.size() &&
                std::equal(prefix.begin(), prefix.end(), command.begin())) {
                ++count;
            }
        }
        return count;
    }

    sim::SimResourceManager manager;
    StringReport report;
    ScriptedPinPrompt prompt;
    ReportAndPrompt pane{report, prompt};
    CardConnection connection{manager};

private:
    std::shared_ptr<sim::SimCard> card_;
};

// How often `what` occurs in `text`, without overlaps.
inline std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

// A T=1 card with the given files below the MF.
inline sim::CardDescription T1Card(std::vector<sim::SimFile> files) {
    sim::CardDescription card;
    card.name = "test";
    card.atr = sim::Hex("3B 88 80 01 00 00 00 00 00 00 00 00 09");
    card.protocol = kProtocolT1;
    card.mf = sim::MasterFile(std::move(files));
    return card;
}

// `count` records made by `make(n)` for n = 1..count.
template <typename Make>
std::vector<sim::Bytes> Records(std::size_t count, Make make) {
    std::vector<sim::Bytes> records;
    for (std::size_t n = 1; n <= count; ++n) {
        records.push_back(make(n));
    }
    return records;
}

}  // namespace zebrik::testing
