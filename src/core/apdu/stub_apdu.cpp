// Placeholder until the command exchange lands; replaced by transmit.cpp and cardholder.cpp.
#include "core/apdu/cardholder.h"
#include "core/apdu/transmit.h"

namespace zebrik {
int TransmitApdu(ReportPane&, const CardConnection&, SendPci, std::span<const std::uint8_t>,
                 std::span<std::uint8_t>, std::uint32_t&, StatusWordTakeover*) {
    return 0;
}
int SendCommand(ReportPane&, const CardConnection&, SendPci, std::span<const std::uint8_t>,
                ApduResponse&, StatusWordTakeover*) {
    return 0;
}
PromptResult VerifyCardHolder(ReportPane&, const CardConnection&, SendPci) { return {}; }
PromptResult UnblockCardHolder(ReportPane&, const CardConnection&, SendPci) { return {}; }
std::array<std::uint8_t, 13> BuildVerifyChv1(const PinEntryBuffer&) { return {}; }
std::array<std::uint8_t, 21> BuildUnblockChv1(const PinUnblockBuffer&) { return {}; }
void SecureWipe(void*, std::size_t) {}
}  // namespace zebrik
