#include "rurorade/hall_diagram.h"

#include "rurorade/edit_setup_dlg.h"

int CHallDiagram::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    if (parent == nullptr || parent->GetControl(id) == nullptr) return 0;
    parent->RegisterDrawing({id, this});
    return 1;
}

void CHallDiagram::ResetSlices() { m_states.fill(NotVisited); }

void CHallDiagram::SetSliceState(int slice, int state)
{
    if (slice < 0 || slice >= kSlices || state < NotVisited || state > Current) return;
    m_states[static_cast<std::size_t>(slice)] = state;
}

int CHallDiagram::GetSliceState(int slice) const
{
    if (slice < 0 || slice >= kSlices) return NotVisited;
    return m_states[static_cast<std::size_t>(slice)];
}

void CHallDiagram::DemoteCurrentSlices()
{
    for (int& state : m_states)
        if (state == Current) state = Visited;
}
