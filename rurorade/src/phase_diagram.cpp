#include "rurorade/phase_diagram.h"

#include <cmath>

#include "rurorade/edit_setup_dlg.h"

int CPhaseDiagram::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    m_parent = parent != nullptr && parent->GetControl(id) != nullptr ? parent : nullptr;
    if (m_parent == nullptr) return 0;
    m_parent->RegisterDrawing({id, this});
    return 1;
}

void CPhaseDiagram::EnableWindow(bool enable)
{
    m_enabled = enable;
    if (m_parent != nullptr) m_parent->EnableChild(m_controlId, enable ? 1 : 0);
}

void CPhaseDiagram::SetAngle(double radians)
{
    if (std::isfinite(radians)) m_angle = radians;
}

double CPhaseDiagram::DrawnAngle() const
{
    constexpr double kTurn = 6.283185307179586;
    const double a = std::fmod(m_angle, kTurn);
    // fmod keeps the sign; a tiny negative angle can round up to a whole turn.
    if (a >= 0) return a;
    const double shifted = a + kTurn;
    return shifted < kTurn ? shifted : 0.0;
}
