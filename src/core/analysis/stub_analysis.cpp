// Placeholder until the analysis run lands.
#include "core/analysis/analysis_run.h"
#include "core/analysis/pcsc_errors.h"
#include "core/analysis/reader_properties.h"

namespace zebrik {
MemoryCardBus ClassifyAtr(std::span<const std::uint8_t>) { return MemoryCardBus::None; }
ResultCode RunAnalysis(ReportPane&, ResourceManager&) { return 0; }
void ReportReaderProperties(ReportPane&, const CardConnection&) {}
namespace {
class None : public PlatformMessages {
public:
    std::optional<std::string> Lookup(ResultCode) const override { return std::nullopt; }
};
}  // namespace
const PlatformMessages& NoPlatformMessages() {
    static const None none;
    return none;
}
std::string PcscErrorText(ResultCode, const PlatformMessages&) { return {}; }
void ReportPcscError(Report&, ResultCode, const PlatformMessages&) {}
}  // namespace zebrik
