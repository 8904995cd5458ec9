#pragma once
// Encoder resolution and direction test (template 292): turns the motor by one revolution with a
// drive program, picks the standard line count nearest to the edges counted, checks that the
// encoder counts in the positive direction, and offers to store the count in `No_encoder_lines`.
#include <cstdint>

#include "commissioning/my_test_dlg.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"
#include "rurorade/resolution.h"

class CDetectEncoderResolution : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 292;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kPolePairsEdit = 3126;
    static constexpr int kReverseCountingCheck = 3357;
    static constexpr int kDetectedLinesEdit = 1021;
    static constexpr int kHallStateEdit = 3130;
    static constexpr int kPositionEdit = 3131;
    static constexpr int kIndexEdit = 3132;
    static constexpr int kEncoderDiagramId = 1024;
    static constexpr int kPhaseDiagramId = 1025;
    static constexpr int kHallDiagramId = 1026;
    static constexpr int kPurposeText = 1376;
    static constexpr int kProcedureText = 1377;
    static constexpr int kTestCurrentLabel = 4350, kPolePairsLabel = 4351, kDetectedLinesLabel = 4352;
    static constexpr int kPositionLabel = 4353, kHallStateLabel = 4354, kIndexLabel = 4355;
    static constexpr int kHelpTopic = 0x4010E;
    // Short circuit and ENABLE input.
    static constexpr std::uint16_t kErrorMask = 0x8002;
    static constexpr const char* kProgram = "Encoder_Resolution_And_Direction_Test";
    static constexpr const char* kPositioningProgram = "Initial_Positioning_Test";
    static constexpr const char* kErrNoMovement =
        "Check if during test the motor shaft is turning. If YES, check the encoder connections and power supply, "
        "otherwise, check the motor phases connection, if these are OK, try also to increase the test current.";
    static constexpr const char* kErrWrongDirection =
        "Check if during test the motor shaft is turning. If YES, the encoder connections or, motor phases are wrongly "
        "connected. Change the Reverse encoder counting checkbox or switch any two of the motor phase connections to "
        "the drive, or the A and B encoder channels. Otherwise, check the motor phase connections. If these are OK, "
        "try also to increase the test current.";

    CDetectEncoderResolution(CMC_Setup* setup, void* parent);
    ~CDetectEncoderResolution() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCancel() override;
    void OnCommand(int id) override;
    void OnChangedParameterValue(const char* name) override;

    // The last "Reverse encoder counting" chosen in this dialog (internal unit), or -1 when the
    // user did not change it; the caller keeps it when the dialog ends with Cancel.
    int ReverseCountingChoice() const { return m_reverseCounting; }
    int DetectedLines() const { return m_detectedLines; }

    // What the final edge count `v` means, given the position remainder of the last count seen
    // while the motor turned and the smallest standard resolution.
    enum class Outcome { Success, NoMovement, WrongDirection };
    static Outcome Evaluate(std::int32_t v, std::int64_t remainder, int smallestResolution);

    const CEncoderDiagram& EncoderDiagram() const { return m_encoder; }
    const CHallDiagram& HallDiagram() const { return m_halls; }
    const CPhaseDiagram& PhaseDiagram() const { return m_phase; }

private:
    void EndPreliminaryRun();
    void Launch();
    void WatchTurningMotor();
    void EvaluateRun();

    CEncoderDiagram m_encoder;
    CHallDiagram m_halls;
    CPhaseDiagram m_phase;
    CMC_CoffFormat m_positioning;
    CMC_CoffFormat m_program;
    CResolution m_resolution;
    std::int32_t m_lines;               // encoder lines per revolution of the setup, at construction
    std::int64_t m_remainder = 0;       // counts
    std::int32_t m_detectedLines = 0;
    int m_lastHall = -1;
    bool m_moved = false;               // kept between runs
    bool m_captureSent = false;
    std::int32_t m_testCurrent = 0;     // internal unit
    double m_reference = 0.0;           // voltage command after the preliminary run, internal unit
    int m_reverseCounting = -1;
};
