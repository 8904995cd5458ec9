#pragma once
// The on-line plot of a drive without a scope channel: the host reads values itself and appends
// them here, channel by channel; each channel keeps its last kMaxPoints values, its display range
// and palette colour for a front end to draw.
#include <cstddef>
#include <deque>
#include <vector>

class CMC_EditSetupDlg;

class CMC_Oscilloscope {
public:
    static constexpr std::size_t kMaxPoints = 1000;

    struct Channel {
        double min = 0, max = 1;  // displayed range (min may exceed max: the axis is flipped)
        int colour = 0;           // index into the host's 16-colour palette
        std::deque<double> values;
    };

    // Draws onto control `id` of `dialog`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* dialog);
    // `channels` empty channels (at least 1); forgets what was there.
    void Init(int channels);
    // Channel 1-based; 0 for a channel that does not exist or a range that is not finite.
    int SetChannel(int channel, double min, double max, int colour);
    // Appends a value to a channel, dropping its oldest beyond kMaxPoints; 0 for no such channel.
    int AddValue(int channel, double value);
    // Asks the front end to draw the newest points.
    void UpdateLastPoint() { ++updates; }
    // Empties every channel, keeping ranges and colours.
    void Clear();

    int ChannelCount() const { return static_cast<int>(m_channels.size()); }
    const Channel* GetChannel(int channel) const;
    int ControlId() const { return m_controlId; }
    int updates = 0;

private:
    std::vector<Channel> m_channels;
    int m_controlId = 0;
};
