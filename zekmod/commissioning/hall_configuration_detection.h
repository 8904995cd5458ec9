#pragma once
// Hall configuration detection (template 294): a preliminary program aligns the rotor, then the
// detection program turns it and the drive names the Hall configuration (its HALLCASE numbering)
// and the shift of the Hall edges; closing offers to keep both in `HALLCASE` and `HALL30`.
#include <cstdint>
#include <string>

#include "commissioning/my_test_dlg.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"

class CTestHallConfiguration : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 294;
    static constexpr int kEncoderDiagramId = 1024, kPhaseDiagramId = 1025, kHallDiagramId = 1026;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kConfigurationText = 1020;
    static constexpr int kHallStateText = 3130, kPositionText = 3131;
    static constexpr int kPurposeText = 1376;
    static constexpr int kTestCurrentLabel = 4250, kConfigurationLabel = 4251;
    static constexpr int kHelpTopic = 0x40110;
    // Short circuit and ENABLE input.
    static constexpr std::uint16_t kErrorMask = 0x8002;
    // The drive's Hall configurations are numbered 2 to 13.
    static constexpr int kFirstConfiguration = 2, kConfigurationsEnd = 14;

    CTestHallConfiguration(CMC_Setup* setup, void* parent);
    ~CTestHallConfiguration() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCancel() override;
    void OnCommand(int id) override;

    int DetectedConfiguration() const { return m_configuration; }
    int DetectedShift() const { return m_shift; }
    std::int64_t PositionCounter() const { return m_positionCounter; }
    const CHallDiagram& HallDiagram() const { return m_hallDiagram; }
    const CPhaseDiagram& PhaseDiagram() const { return m_phaseDiagram; }
    const CEncoderDiagram& EncoderDiagram() const { return m_encoderDiagram; }

    // The counter shown for a position increment: the remainder within one revolution of
    // 4 x lines counts, with the increment's sign (the whole increment without lines).
    static std::int64_t PositionCounterOf(std::int64_t increment, std::int32_t lines);
    // Electrical angle (rad) the phase diagram shows for a THTST value.
    static double PhaseAngleOf(std::int32_t thtst);

private:
    void EndPreliminaryRun();
    void LaunchDetection();
    void WatchDetection();
    void EndDetection();
    void ShowHallState(int state);

    CMC_CoffFormat m_detection;
    CMC_CoffFormat m_positioning;
    CEncoderDiagram m_encoderDiagram;
    CHallDiagram m_hallDiagram;
    CPhaseDiagram m_phaseDiagram;
    int m_configuration = 0;
    int m_shift = 0;
    std::int64_t m_positionCounter = 0;
    std::string m_configurationText;
    std::int32_t m_lines = 0;        // encoder lines, at construction
    std::int32_t m_testCurrent = 0;  // internal unit
    double m_reference = 0.0, m_increment = 0.0;  // voltage commands of the preliminary run
};
