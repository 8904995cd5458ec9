#pragma once
// Motor phase connection test (template 288): drives the test current into phase A and checks
// that phase A carries about the test current and phase B about minus half of it. Writes nothing
// into the setup.
#include <cstdint>

#include "commissioning/my_test_dlg.h"
#include "rurorade/bar_graph.h"

class CTestPhaseConnections : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 288;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kIAEdit = 1020, kIBEdit = 1022;
    static constexpr int kIABar = 1021, kIBBar = 1023;
    static constexpr int kPurposeText = 1376, kProcedureText = 1377;
    static constexpr int kTestCurrentLabel = 4100, kIALabel = 4101, kIAUnitLabel = 4102, kIBLabel = 4103,
                         kIBUnitLabel = 4104;
    static constexpr int kHelpTopic = 0x4010B;
    // Short circuit and ENABLE input.
    static constexpr std::uint16_t kErrorMask = 0x8002;

    CTestPhaseConnections(CMC_Setup* setup, void* parent);
    ~CTestPhaseConnections() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnChangedParameterValue(const char* name) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;

    // The pass conditions on the rounded phase currents (A) for a test current `itest` (A).
    static bool PhaseCurrentsPass(double ia, double ib, double itest);

    const rurorade::CBarGraph& BarA() const { return m_barA; }
    const rurorade::CBarGraph& BarB() const { return m_barB; }
    double MeasuredIA() const { return m_ia; }
    double MeasuredIB() const { return m_ib; }

private:
    double TestCurrent() const;  // A
    // Both bars over the test current's range (SetBars) showing `ia` and `ib` (A), repainted.
    void SetBars(double ia, double ib);
    void ShowBars(double ia, double ib);
    void EndPreliminaryRun();
    void LaunchTest();
    void EndTestRun();

    CMC_CoffFormat m_test;         // M
    CMC_CoffFormat m_positioning;  // P
    rurorade::CBarGraph m_barA, m_barB;
    std::int32_t m_in1 = 0;        // test current, internal unit
    double m_ia = 0.0, m_ib = 0.0; // measured phase currents, A
    double m_reference = 0.0, m_increment = 0.0;  // from the preliminary run, internal unit
};
