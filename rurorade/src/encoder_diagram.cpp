#include "rurorade/encoder_diagram.h"

#include "rurorade/edit_setup_dlg.h"

int CEncoderDiagram::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    return parent != nullptr && parent->GetControl(id) != nullptr ? 1 : 0;
}

void CEncoderDiagram::SetAngle(double radians)
{
    m_angle = radians;
    Invalidate();
}
