#include "rurorade/encoder_diagram.h"

#include "rurorade/edit_setup_dlg.h"

int CEncoderDiagram::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    if (parent == nullptr || parent->GetControl(id) == nullptr) return 0;
    parent->RegisterDrawing({id, this});
    return 1;
}

void CEncoderDiagram::SetAngle(double radians)
{
    m_angle = radians;
    Invalidate();
}
