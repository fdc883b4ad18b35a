// Placeholder until the pcsc-lite adapter lands.
#include "pcsc/pcsc_resource_manager.h"

namespace zebrik {
namespace {
constexpr ResultCode kNotYet = kScardENoService;
}
ResultCode PcscResourceManager::EstablishContext(std::uint32_t, ContextHandle&) { return kNotYet; }
ResultCode PcscResourceManager::ListReaders(ContextHandle, std::span<char>, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::GetStatusChange(ContextHandle, std::uint32_t, ReaderState&) { return kNotYet; }
ResultCode PcscResourceManager::ListCards(ContextHandle, std::span<const std::uint8_t>, std::span<char>, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::Connect(ContextHandle, const std::string&, std::uint32_t, std::uint32_t, CardHandle&, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::Status(CardHandle, std::span<char>, std::uint32_t&, std::uint32_t&, std::uint32_t&, std::span<std::uint8_t>, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::GetAttrib(CardHandle, std::uint32_t, std::span<std::uint8_t>, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::Transmit(CardHandle, SendPci, std::span<const std::uint8_t>, std::span<std::uint8_t>, std::uint32_t&) { return kNotYet; }
ResultCode PcscResourceManager::Disconnect(CardHandle, std::uint32_t) { return kNotYet; }
ResultCode PcscResourceManager::ReleaseContext(ContextHandle) { return kNotYet; }
}  // namespace zebrik
