#include "rurorade/oscilloscope.h"

#include <cmath>

#include "rurorade/edit_setup_dlg.h"

int CMC_Oscilloscope::SubclassDlgItem(int id, CMC_EditSetupDlg* dialog)
{
    m_controlId = id;
    if (dialog == nullptr || dialog->GetControl(id) == nullptr) return 0;
    dialog->RegisterDrawing({id, this});
    return 1;
}

void CMC_Oscilloscope::Init(int channels)
{
    m_channels.assign(static_cast<std::size_t>(channels < 1 ? 1 : channels), Channel{});
    updates = 0;
}

int CMC_Oscilloscope::SetChannel(int channel, double min, double max, int colour)
{
    if (channel < 1 || channel > ChannelCount() || !std::isfinite(min) || !std::isfinite(max)) return 0;
    Channel& c = m_channels[static_cast<std::size_t>(channel - 1)];
    c.min = min;
    c.max = max;
    c.colour = colour;
    return 1;
}

int CMC_Oscilloscope::AddValue(int channel, double value)
{
    if (channel < 1 || channel > ChannelCount()) return 0;
    std::deque<double>& values = m_channels[static_cast<std::size_t>(channel - 1)].values;
    values.push_back(value);
    if (values.size() > kMaxPoints) values.pop_front();
    return 1;
}

void CMC_Oscilloscope::Clear()
{
    for (Channel& c : m_channels) c.values.clear();
}

const CMC_Oscilloscope::Channel* CMC_Oscilloscope::GetChannel(int channel) const
{
    return channel >= 1 && channel <= ChannelCount() ? &m_channels[static_cast<std::size_t>(channel - 1)] : nullptr;
}
