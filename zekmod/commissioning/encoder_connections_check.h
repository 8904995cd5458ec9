#pragma once
// Encoder connections test (template 291): while the user turns the shaft by hand, shows the
// position counter, the encoder angle, the Hall state and the captured index position; passes on
// Stop when the counter has moved by more than two counts.
#include <cstdint>
#include <string>

#include "commissioning/my_test_dlg.h"
#include "engine/unit_scaling.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"

// Pieces the encoder tests share.
namespace encoder_test {

// value modulo `modulus`, in 0 .. modulus - 1 (64-bit: four counts per line overflow 32 bits for
// the largest line counts). 0 for a modulus below 1.
std::int64_t PositiveModulo(std::int64_t value, std::int64_t modulus);

// The text ("001" ...) and Hall-diagram slice of a Hall state 1 to 6; false for any other state.
bool HallStateDisplay(int state, const char*& text, int& slice);

// Shows a Hall state read from the drive when it differs from `last`: the current slice becomes a
// visited one, a valid state's slice becomes the current one and its text goes into `textId`.
void UpdateHallDisplay(CMC_EditSetupDlg& dialog, CHallDiagram& halls, int& last, int state, int textId);

// Encoder angle in radians of a position counter: four counts per line.
inline double EncoderAngle(std::int64_t counts, std::int32_t lines) { return counts * kPi / lines * 0.5; }

// The host's command line to the drive; 0 with the reason in `error` when it cannot be sent.
int ExecuteString(CMC_Setup* setup, const char* text, std::string& error);

// Arms the drive's index capture: the count at the next index pulse goes to "CAPPOS".
constexpr const char* kArmIndexCapture = "!CAP;ENCAPI1;";

// "%d", or "not detected" for 0: how the captured index position is shown.
std::string IndexPositionText(std::int32_t captured);

// Text when the setup's line count cannot divide a revolution.
extern const char* const kErrNoLines;

}  // namespace encoder_test

class CTestEncoderConnections : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 291;
    static constexpr int kHallStateEdit = 3130;
    static constexpr int kPositionEdit = 3131;
    static constexpr int kIndexEdit = 3132;
    static constexpr int kEncoderDiagramId = 1024;
    static constexpr int kPhaseDiagramId = 1025;
    static constexpr int kHallDiagramId = 1026;
    static constexpr int kPurposeText = 1376;
    static constexpr int kProcedureText = 1377;
    static constexpr int kProcedureMoreText = 4300;
    static constexpr int kPositionLabel = 4301, kHallStateLabel = 4302, kIndexLabel = 4303;
    static constexpr int kHelpTopic = 0x4010D;
    // Short circuit only: the power stage stays off while the hand turns the shaft.
    static constexpr std::uint16_t kErrorMask = 0x0002;
    static constexpr const char* kProgram = "Encoder_Connection_Test";
    static constexpr const char* kErrNoPulses =
        "No encoder pulses have been detected.\r\nCheck the encoder connection and power supply.";

    CTestEncoderConnections(CMC_Setup* setup, void* parent);
    ~CTestEncoderConnections() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void StopTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;

    const CEncoderDiagram& EncoderDiagram() const { return m_encoder; }
    const CHallDiagram& HallDiagram() const { return m_halls; }
    const CPhaseDiagram& PhaseDiagram() const { return m_phase; }

private:
    void Poll();
    // After a failed run: halts the drive program, which would otherwise wait for "var_i2" for ever.
    void HaltProgram();

    CEncoderDiagram m_encoder;
    CHallDiagram m_halls;
    CPhaseDiagram m_phase;
    std::int32_t m_lines;             // encoder lines per revolution, at construction
    bool m_pulses = false;
    bool m_captureArmed = false;
    std::int32_t m_lastCounter = 0;   // raw APOS of the previous poll, counts
    std::int64_t m_modulo = 0, m_previousModulo = 0;  // counts within one revolution
    int m_lastHall = -1;
};
