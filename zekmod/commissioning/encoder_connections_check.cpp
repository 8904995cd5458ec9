#include "commissioning/encoder_connections_check.h"

#include "rurorade/numeric.h"

namespace encoder_test {

const char* const kErrNoLines =
    "The encoder resolution of the setup (No_encoder_lines) is below 1 line per revolution. Enter the encoder's "
    "number of lines in the Motor Setup dialog.";

std::int64_t PositiveModulo(std::int64_t value, std::int64_t modulus)
{
    if (modulus < 1) return 0;
    const std::int64_t r = value % modulus;
    return r < 0 ? r + modulus : r;
}

bool HallStateDisplay(int state, const char*& text, int& slice)
{
    struct Entry {
        const char* text;
        int slice;
    };
    // Slices follow the rotation order 1, 3, 2, 6, 4, 5.
    static constexpr Entry kStates[] = {{"001", 0}, {"010", 2}, {"011", 1}, {"100", 4}, {"101", 5}, {"110", 3}};
    if (state < 1 || state > 6) return false;
    text = kStates[state - 1].text;
    slice = kStates[state - 1].slice;
    return true;
}

void UpdateHallDisplay(CMC_EditSetupDlg& dialog, CHallDiagram& halls, int& last, int state, int textId)
{
    if (state == last) return;
    last = state;
    halls.DemoteCurrentSlices();
    const char* text = nullptr;
    int slice = 0;
    if (HallStateDisplay(state, text, slice)) {
        halls.SetSliceState(slice, CHallDiagram::Current);
        dialog.SetChildText(textId, text);
    }
    halls.Invalidate();
}

int ExecuteString(CMC_Setup* setup, const char* text, std::string& error)
{
    rurorade::DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    if (link != nullptr && link->ExecuteString(text)) return 1;
    error = link ? link->GetLastErrorText() : "";
    if (error.empty()) error = CMC_TestDlg::msc_pszErrInternal;
    return 0;
}

std::string IndexPositionText(std::int32_t captured)
{
    return captured == 0 ? std::string("not detected") : std::to_string(captured);
}

}  // namespace encoder_test

namespace {

const char* const kSteps[] = {"Launching code for test", "Running test", "Test finished"};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// Step index while the shaft is being turned (texts 0 and 1 shown).
constexpr std::uint16_t kRunningIndex = 2;

}  // namespace

using namespace encoder_test;

CTestEncoderConnections::CTestEncoderConnections(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_lines(TruncToInt32(setup->GetParameterValueInBaseUnit("No_encoder_lines")))
{
    m_nStepCount = kStepCount;
}

CTestEncoderConnections::~CTestEncoderConnections() = default;

int CTestEncoderConnections::OnInitDialog()
{
    const int result = CMyTestDlg::OnInitDialog();
    m_encoder.SubclassDlgItem(kEncoderDiagramId, this);
    m_halls.SubclassDlgItem(kHallDiagramId, this);
    m_phase.SubclassDlgItem(kPhaseDiagramId, this);
    m_encoder.EnableWindow(true);
    m_halls.EnableWindow(true);
    m_phase.EnableWindow(false);  // nothing drives an electrical angle here
    SetChildText(kHallStateEdit, "");
    SetChildText(kPositionEdit, "");
    return result;
}

void CTestEncoderConnections::BeginTest()
{
    StartRun();
    m_pulses = false;
    m_modulo = m_previousModulo = 0;
    m_captureArmed = false;
    m_halls.ResetSlices();
    m_halls.Invalidate();
    m_lastHall = -1;  // the state at the start is shown too
    m_encoder.SetAngle(0.0);
    SetChildText(kHallStateEdit, "");
    SetChildText(kPositionEdit, "");
    // Positions are taken modulo one revolution of the setup's encoder.
    if (m_lines < 1) return Fail(kErrNoLines);
    SetInfoText(kSteps[0]);
    if (!ExecuteCode(kProgram, nullptr, nullptr)) return Fail(msc_pszErrInternal);
    SetInfoText(kSteps[1]);
    SetTimer(kTestTimer, kTickMs);
}

void CTestEncoderConnections::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    if (m_nStepIndex != kRunningIndex) Fail(msc_pszErrInternal);
    else Poll();
    if (!m_bTestRunning && m_nResult == 0) HaltProgram();
}

void CTestEncoderConnections::Poll()
{
    m_previousModulo = m_modulo;
    if (!CheckDriveErrors(kErrorMask, 1)) return;
    if (m_pulses && !m_captureArmed) {
        m_captureArmed = true;
        std::string error;
        if (!ExecuteString(m_setup, kArmIndexCapture, error)) return Fail(error);
    }
    double value = 0.0;
    if (!ReadDriveVariable("CAPPOS", true, value)) return;
    SetChildText(kIndexEdit, IndexPositionText(TruncToInt32(value)).c_str());

    if (!ReadDriveVariable("APOS", true, value)) return;
    const std::int32_t counter = TruncToInt32(value);
    m_modulo = PositiveModulo(counter, 4LL * m_lines);
    SetChildText(kPositionEdit, std::to_string(m_lastCounter).c_str());  // one poll behind
    m_lastCounter = counter;
    if (m_modulo != m_previousModulo) {
        if (counter > 2 || counter < -2) m_pulses = true;
        m_encoder.SetAngle(EncoderAngle(counter, m_lines));
    }

    if (!ReadDriveVariable("HALL", true, value)) return;
    UpdateHallDisplay(*this, m_halls, m_lastHall, TruncToInt32(value), kHallStateEdit);
    SetTimer(kTestTimer, kTickMs);
}

void CTestEncoderConnections::StopTest()
{
    KillTimer(kTestTimer);
    if (!m_pulses) {
        Fail(kErrNoPulses);
        return HaltProgram();
    }
    SetInfoText(m_nStepIndex < kStepCount ? kSteps[m_nStepIndex] : "");
    TestSucceeded(1);
    // 1 in "var_i2" ends the drive program.
    CMC_Variable* done = m_setup->FindVariable("var_i2", 1);
    if (done == nullptr) {
        Fail(msc_pszErrInternal);
        return HaltProgram();
    }
    done->SetValueInBaseUnit(1.0);
    if (done->WriteToChip()) return;
    const rurorade::DriveLink* link = m_setup->GetDriveLink();
    const std::string reason = link ? link->GetLastErrorText() : "";
    Fail(reason.empty() ? std::string(msc_pszErrInternal) : reason);
    HaltProgram();
}

void CTestEncoderConnections::HaltProgram()
{
    if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
}

void CTestEncoderConnections::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
