// The host's motor editor in a setup dialog: choose a database and a motor, save the motor being
// edited to the user database, delete one from it.
#include "motor_editor.h"

#include "rurorade/host_errors.h"

namespace {

constexpr int kDatabaseList = 10010;
constexpr int kMotorList = 10011;
constexpr int kSave = 10012;
constexpr int kDelete = 10013;
constexpr int kUserDatabase = 1;

}  // namespace

void CMC_EditSetupDlg::InitializeMotorEditor()
{
    m_motorEditor = std::make_unique<MotorEditor>();
    std::string error;
    if (!m_motorEditor->standard.Load(rurorade::StandardMotorDatabasePath(), error)) MessageBox(error, m_title);
    error.clear();
    if (!m_motorEditor->user.Load(rurorade::UserMotorDatabasePath(), error)) m_motorEditor->userError = error;
    ResetItems(kDatabaseList);
    AddItem(kDatabaseList, "Standard", 0);
    AddItem(kDatabaseList, "User", 1);
    SetSelection(kDatabaseList, 0);
    Ensure(kMotorList).kind = rurorade::ControlKind::Combo;
    FillMotorList();
}

void CMC_EditSetupDlg::FillMotorList()
{
    const bool user = GetSelection(kDatabaseList) == kUserDatabase;
    ResetItems(kMotorList);
    for (const rurorade::MotorRecord& m : (user ? m_motorEditor->user : m_motorEditor->standard).Motors())
        AddItem(kMotorList, m.name);
    SetChildText(kMotorList, "");
    if (user && !m_motorEditor->userError.empty())
        MessageBox("The user motor database could not be read, so it is left as it is:\n" + m_motorEditor->userError, m_title);
}

bool CMC_EditSetupDlg::MotorEditorSelect(int id)
{
    if (id == kDatabaseList) {
        FillMotorList();
        return true;
    }
    if (id != kMotorList) return false;
    const bool user = GetSelection(kDatabaseList) == kUserDatabase;
    const auto& motors = (user ? m_motorEditor->user : m_motorEditor->standard).Motors();
    const int index = GetSelection(kMotorList);
    if (index < 0 || index >= static_cast<int>(motors.size())) return true;
    const rurorade::MotorRecord& motor = motors[static_cast<std::size_t>(index)];
    SetChildText(kMotorList, motor.name.c_str());
    for (const std::string& name : rurorade::ApplyMotor(motor, *m_setup)) OnChangedParameterValue(name.c_str());
    RefreshAllParameters(0);
    DoDataExchange(false);
    return true;
}

bool CMC_EditSetupDlg::MotorEditorClick(int id)
{
    if (id != kSave && id != kDelete) return false;
    MotorEditor& editor = *m_motorEditor;
    if (!editor.userError.empty()) {
        MessageBox("The user motor database could not be read, so it is left as it is:\n" + editor.userError, m_title);
        return true;
    }
    std::string name = GetChildText(kMotorList);
    if (id == kSave) {
        if (name.empty()) {
            MessageBox("Type a name for the motor in the \"Motor\" box first.", m_title);
            return true;
        }
        if (editor.user.Find(name) &&
            MessageBox("The user database already has a motor named \"" + name + "\". Replace it?", m_title,
                       rurorade::MB_YESNO | rurorade::MB_ICONQUESTION) != rurorade::IDYES)
            return true;
        editor.user.Put(rurorade::MotorFromSetup(*m_setup, name));
    } else {
        if (GetSelection(kDatabaseList) != kUserDatabase || !editor.user.Find(name)) {
            MessageBox("Only a motor of the user database can be deleted: select it there first.", m_title);
            return true;
        }
        if (MessageBox("Delete the motor \"" + name + "\" from the user database?", m_title, rurorade::MB_YESNO | rurorade::MB_ICONQUESTION) !=
            rurorade::IDYES)
            return true;
        editor.user.Remove(name);
        name.clear();
    }
    std::string error;
    if (!editor.user.Save(rurorade::UserMotorDatabasePath(), error)) {
        MessageBox("The user motor database could not be saved:\n" + error, m_title);
        std::string reload;
        editor.user.Load(rurorade::UserMotorDatabasePath(), reload);  // back to what the file holds
        return true;
    }
    SetSelection(kDatabaseList, kUserDatabase);
    FillMotorList();
    const auto& motors = editor.user.Motors();
    for (std::size_t i = 0; i < motors.size(); ++i)
        if (motors[i].name == name) SetSelection(kMotorList, static_cast<int>(i));
    SetChildText(kMotorList, name.c_str());
    return true;
}
