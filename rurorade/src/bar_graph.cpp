#include "rurorade/bar_graph.h"

#include <algorithm>
#include <cmath>

#include "rurorade/edit_setup_dlg.h"

namespace rurorade {

int CBarGraph::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    if (parent == nullptr || parent->GetControl(id) == nullptr) return 0;
    parent->RegisterDrawing({id, this});
    return 1;
}

void CBarGraph::SetRange(double min, double max)
{
    m_min = min;
    m_max = max;
    m_reference = DefaultReference(min, max);
}

double CBarGraph::EndShare() const { return Share(std::isnan(m_value) ? m_reference : m_value); }

double CBarGraph::Share(double x) const
{
    // Written so that an empty or undefined range gives 0.
    if (!(m_max > m_min) || std::isnan(x)) return 0.0;
    return std::clamp((x - m_min) / (m_max - m_min), 0.0, 1.0);
}

}  // namespace rurorade
