#pragma once
// Hall signals connection test (template 293): while a hand turns the shaft, shows the live Hall
// state and the encoder position; on Stop it passes when each Hall signal was seen low and high
// and the drive program saw all six states.
#include <array>
#include <cstdint>
#include <string>

#include "commissioning/my_test_dlg.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"

// How a Hall state (bit values 4, 2, 1: the levels of Hall1, Hall2, Hall3) is shown: its text and
// its slice of the Hall diagram, the six valid states in rotation order 1, 3, 2, 6, 4, 5.
struct HallStateView {
    int state;
    const char* text;
    int slice;
};
// Null for 0, 7 and every other value: such a state is not shown.
const HallStateView* FindHallStateView(int state);

class CTestHallSignals : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 293;
    static constexpr int kEncoderDiagramId = 1024, kPhaseDiagramId = 1025, kHallDiagramId = 1026;
    static constexpr int kHall1Edit = 1029, kHall2Edit = 1030, kHall3Edit = 1031;
    static constexpr int kHallStateText = 3130, kPositionText = 3131;
    static constexpr int kPurposeText = 1376, kProcedureText = 1377;
    static constexpr int kHall1Label = 4200, kHall2Label = 4201, kHall3Label = 4202;
    static constexpr int kHelpTopic = 0x4010F;
    // Only a short circuit stops this test: the power stage stays off while the shaft is turned.
    static constexpr std::uint16_t kErrorMask = 0x0002;

    CTestHallSignals(CMC_Setup* setup, void* parent);
    ~CTestHallSignals() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void StopTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;

    const CHallDiagram& HallDiagram() const { return m_hallDiagram; }
    const CPhaseDiagram& PhaseDiagram() const { return m_phaseDiagram; }
    // Bit value 1: the signal was seen low, 2: seen high.
    const std::array<int, 3>& SeenLevels() const { return m_seen; }
    const CEncoderDiagram& EncoderDiagram() const { return m_encoderDiagram; }

private:
    void Poll();
    void ShowHallState(int state);

    CMC_CoffFormat m_program;
    CEncoderDiagram m_encoderDiagram;
    CHallDiagram m_hallDiagram;
    CPhaseDiagram m_phaseDiagram;
    std::array<std::string, 3> m_status;
    std::array<int, 3> m_seen{};
    int m_lastHall = -1;       // none shown yet
    std::int32_t m_lines = 0;  // encoder lines, at construction
};
