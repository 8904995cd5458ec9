#include "rurorade/drive_comm.h"

#include "rurorade/host_errors.h"
#include "rurorade/setup.h"

namespace rurorade {

namespace {

// Bounds one call's work when a drive keeps sending faster than the host drains.
constexpr int kMaxMessagesPerCheck = 4096;

CMC_Comm::UnsolicitedMsgHandler g_handler = nullptr;
std::uint64_t g_dropped = 0;

}  // namespace

std::vector<std::uint16_t> MakeScopeFrameMessage(std::uint32_t counter, int channels,
                                                 const std::vector<std::int32_t>& values)
{
    const int samples = channels > 0 ? static_cast<int>(values.size()) / channels : 0;
    const std::size_t payload = kScopeFrameHeaderWords + 2 * static_cast<std::size_t>(samples) * channels;
    std::vector<std::uint16_t> message;
    message.reserve(kMessageHeaderWords + payload);
    message.push_back(static_cast<std::uint16_t>(payload));
    message.push_back(0);
    message.push_back(kScopeFrameKind);
    message.push_back(static_cast<std::uint16_t>(counter & 0xFFFF));
    message.push_back(static_cast<std::uint16_t>(counter >> 16));
    message.push_back(static_cast<std::uint16_t>(channels));
    message.push_back(static_cast<std::uint16_t>(samples));
    for (std::size_t i = 0; i < static_cast<std::size_t>(samples) * channels; ++i) {
        const auto word = static_cast<std::uint32_t>(values[i]);
        message.push_back(static_cast<std::uint16_t>(word & 0xFFFF));
        message.push_back(static_cast<std::uint16_t>(word >> 16));
    }
    return message;
}

bool ParseScopeFrame(const std::uint16_t* payload, int bytes, ScopeFrame& frame)
{
    if (payload == nullptr || bytes < 2 * kScopeFrameHeaderWords) return false;
    const std::size_t words = static_cast<std::size_t>(bytes) / 2;
    const int channels = payload[2];
    const int samples = payload[3];
    if (channels < 1 || samples < 1) return false;
    const std::size_t count = static_cast<std::size_t>(channels) * static_cast<std::size_t>(samples);
    if (kScopeFrameHeaderWords + 2 * count > words) return false;
    frame.counter = payload[0] | (static_cast<std::uint32_t>(payload[1]) << 16);
    frame.channels = channels;
    frame.samples = samples;
    frame.values.resize(count);
    const std::uint16_t* p = payload + kScopeFrameHeaderWords;
    for (std::size_t i = 0; i < count; ++i, p += 2)
        frame.values[i] = static_cast<std::int32_t>(p[0] | (static_cast<std::uint32_t>(p[1]) << 16));
    return true;
}

}  // namespace rurorade

CMC_Comm::UnsolicitedMsgHandler CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(UnsolicitedMsgHandler handler)
{
    const UnsolicitedMsgHandler before = rurorade::g_handler;
    rurorade::g_handler = handler;
    return before;
}

int CMC_Comm::CheckForUnrequestedMessages(CMC_Setup* setup)
{
    rurorade::DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    if (link == nullptr) return 0;
    int delivered = 0;
    std::vector<std::uint16_t> message;
    for (int i = 0; i < rurorade::kMaxMessagesPerCheck && link->PollUnsolicited(message); ++i) {
        if (message.size() < rurorade::kMessageHeaderWords ||
            message[0] != message.size() - rurorade::kMessageHeaderWords) {
            ++rurorade::g_dropped;
            continue;
        }
        // The handler may register another one (a dialog closing); take it anew for every message.
        if (rurorade::g_handler == nullptr) continue;
        rurorade::g_handler(message.data(), static_cast<int>(message.size()));
        ++delivered;
    }
    return delivered;
}

std::string CMC_Comm::GetLastErrorText(CMC_Setup* setup)
{
    rurorade::DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    if (link != nullptr) return link->GetLastErrorText();
    const char* text = ::GetLastErrorText();
    return text ? text : "";
}

int CMC_Comm::ResetActiveBoard(CMC_Setup* setup)
{
    rurorade::DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    if (link == nullptr) {
        rurorade::SetLastErrorText("No drive is connected.");
        return 0;
    }
    return link->ResetDrive() ? 1 : 0;
}

std::uint64_t CMC_Comm::DroppedMessages() { return rurorade::g_dropped; }
