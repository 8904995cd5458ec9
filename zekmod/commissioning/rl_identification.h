#pragma once
// Resistance and inductance identification (template 290): measures the motor's total R and L
// as the drive sees them and stores them in `R` and `L`.
#include <cstdint>
#include <memory>

#include "commissioning/my_test_dlg.h"

class CTestRL : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 290;
    static constexpr int kREdit = 1002, kRUnit = 3128;
    static constexpr int kLEdit = 1003, kLUnit = 3129;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kPurposeText = 1376;
    static constexpr int kRLabel = 3700, kLLabel = 3701, kTestCurrentLabel = 3702, kTestCurrentNote = 3703;
    static constexpr int kHelpTopic = 0x4010C;
    // Short circuit and ENABLE input.
    static constexpr std::uint16_t kErrorMask = 0x8002;

    CTestRL(CMC_Setup* setup, void* parent);
    ~CTestRL() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCancel() override;
    void OnCommand(int id) override;

    // Mean of the logged values after the first one; the first one alone when it is the only one.
    class RunningMean {
    public:
        void Add(double y)
        {
            m_value = m_count == 0 ? y : ((m_count - 1) * m_value + y) / m_count;
            ++m_count;
        }
        bool Empty() const { return m_count == 0; }
        double Value() const { return m_value; }

    private:
        double m_value = 0.0;
        int m_count = 0;
    };

private:
    const char* Step() const;
    void EndPreliminaryRun(bool halfCurrent);
    void EndFirstResistanceRun();
    void EndSecondResistanceRun();
    void EndInductanceRun();
    int PrepareLogger(bool reset, int logType, bool withD);

    CMC_CoffFormat m_positioning;  // P
    CMC_CoffFormat m_resistance;   // Q
    CMC_CoffFormat m_inductance;   // W
    std::unique_ptr<CMC_SingleAxisLogger> m_logger;

    std::int32_t m_in1 = 0;  // test current, internal unit
    bool m_saved = false;    // the values below were taken at opening
    double m_savedVdc = 0.0, m_savedR = 0.0, m_savedL = 0.0;  // V, ohm, H
    double m_u1 = 0.0, m_i1 = 0.0;        // first resistance run: voltage command and current, internal
    double m_cs = 0.0, m_kv = 0.0;        // CurrentScale and VoltageCommandScale at the measured Vdc
    double m_resultR = 0.0, m_resultL = 0.0;  // ohm, H
};
