#pragma once
// Pole pairs detection (template 289): the drive turns the rotor by one electrical revolution per
// "Move"; the person stops when the shaft is back at its mark, and the number of moves becomes `pp`.
#include <cstdint>

#include "commissioning/my_test_dlg.h"

class CDetectPolePairs : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 289;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kMoveButton = 1021;
    static constexpr int kPolePairsEdit = 3126;
    static constexpr int kPurposeText = 1376, kProcedureText = 1377;
    static constexpr int kTestCurrentLabel = 4150, kPolePairsLabel = 4151, kProcedureText2 = 4152;
    static constexpr int kHelpTopic = 0x4010A;
    // Short circuit and ENABLE input.
    static constexpr std::uint16_t kErrorMask = 0x8002;
    // "THTST" at the end of each revolution: -pi/2 in units of pi / 32767.
    static constexpr int kRevolutionEnd = -16383;
    // Longest wait for one revolution before the run is given up, ms.
    static constexpr std::int64_t kRevolutionTimeoutMs = 10000;

    CDetectPolePairs(CMC_Setup* setup, void* parent);
    ~CDetectPolePairs() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;
    void OnCancel() override;

private:
    void EndPreliminaryRun();
    void LaunchTest();
    void WaitForStart();
    void Move();
    bool WaitForRevolution(CMC_Variable& angle);
    void Stop();
    void EndRun();
    // Writes `value` (base unit) into the drive variable "var_i2"; 0 when the run has failed.
    int WriteRequest(double value);

    CMC_CoffFormat m_test;         // T
    CMC_CoffFormat m_positioning;  // P
    std::int32_t m_in1 = 0;        // test current, internal unit
    std::int32_t m_oldPolePairs;
    double m_reference = 0.0, m_increment = 0.0;  // from the preliminary run, internal unit
    bool m_moveShown = false, m_moveShownWaiting = false, m_moveEnabled = true;
    bool m_moved = false;
};
