#include "editor/inertia_question_dlg.h"

#include "engine/parameter_access.h"

CInertiaQuestion::CInertiaQuestion(CMC_Setup* setup, void* parent) : CMySetupDlg(setup, 3056, 1, nullptr, parent) {}

int CInertiaQuestion::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();
    CheckRadioButton(kIncreaseTotal, kDisregardMotor, kIncreaseTotal);
    return 1;
}

void CInertiaQuestion::OnCommand(int id)
{
    if (id != kIncreaseTotal && id != kDisregardMotor) return CMySetupDlg::OnCommand(id);
    m_selection = id == kIncreaseTotal ? 1 : 2;
    CheckRadioButton(kIncreaseTotal, kDisregardMotor, id);
}

void CInertiaQuestion::OnOK()
{
    if (m_selection == 1) {
        // A little above the motor's own, so that the load's share stays positive.
        CMC_Parameter* jm = QuietFindParameter(m_setup, "Jm");
        CMC_Parameter* jt = QuietFindParameter(m_setup, "Jt");
        if (jm && jt) jt->SetValueInBaseUnit(jm->GetValueInBaseUnit() * 1.01);
    } else if (CMC_Parameter* unknown = QuietFindParameter(m_setup, "isMotorInertiaUnknown")) {
        unknown->SetValueInBaseUnit(1);
    }
    EndDialog(rurorade::IDOK);
}
