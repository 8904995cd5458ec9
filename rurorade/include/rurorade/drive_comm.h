#pragma once
// The host's communication layer as the module sees it: unsolicited drive messages delivered to
// one registered handler, the last communication error, and the reset of the active drive.
//
// An unsolicited message is an array of 16-bit words: word 0 the payload length in words, word 1
// the sender (axis, 0), word 2 the kind, then the payload. Scope frames have kind 0xE900 and this
// payload (32-bit numbers as two words, low word first):
//   words 0-1  frame counter (0 for the first frame after the scope was armed)
//   word  2    channels C (the armed variables, in order)
//   word  3    samples K in this frame
//   then K samples of C signed 32-bit values each, in the drive's internal units.
// The counter goes up by one a frame, so a gap tells the host that frames were lost.
#include <cstdint>
#include <string>
#include <vector>

class CMC_Setup;

namespace rurorade {

constexpr std::uint16_t kScopeFrameKind = 0xE900;
constexpr int kMessageHeaderWords = 3;
constexpr int kScopeFrameHeaderWords = 4;

struct ScopeFrame {
    std::uint32_t counter = 0;
    int channels = 0;
    int samples = 0;
    std::vector<std::int32_t> values;  // samples * channels, sample by sample
};

// A whole scope message (header and payload) for `values` (samples * channels of them).
std::vector<std::uint16_t> MakeScopeFrameMessage(std::uint32_t counter, int channels,
                                                 const std::vector<std::int32_t>& values);
// Reads a scope payload of `bytes` bytes; false when it is short or its counts do not fit in it.
bool ParseScopeFrame(const std::uint16_t* payload, int bytes, ScopeFrame& frame);

}  // namespace rurorade

class CMC_Comm {
public:
    using UnsolicitedMsgHandler = int (*)(const std::uint16_t* words, int count);

    // Installs `handler` (null: none) and returns the one installed before.
    static UnsolicitedMsgHandler RegisterReceiveUnsolicitedMsgHandler(UnsolicitedMsgHandler handler);
    // Hands every message pending on the setup's drive link to the handler, oldest first; a message
    // whose length word disagrees with its size is dropped unseen. Returns how many were handed.
    static int CheckForUnrequestedMessages(CMC_Setup* setup);
    // Text of the last communication error of the setup's drive link (the host's when it has none).
    static std::string GetLastErrorText(CMC_Setup* setup = nullptr);
    // Resets the setup's drive; nonzero on success.
    static int ResetActiveBoard(CMC_Setup* setup);
    // Messages dropped for a bad length since the process started.
    static std::uint64_t DroppedMessages();
};
