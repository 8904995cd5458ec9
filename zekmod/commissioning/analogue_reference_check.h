#pragma once
// Analogue reference test (template 104): a live monitor of the external analogue reference
// input, shown as the input voltage and as the command it means in the present control mode.
// It changes nothing in the setup.
#include <cstdint>
#include <string>

#include "commissioning/my_test_dlg.h"
#include "rurorade/bar_graph.h"

class CTestAnalogueRef : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 104;
    static constexpr int kVoltageText = 1010, kCommandText = 1011;
    static constexpr int kVoltageBar = 1014, kCommandBar = 1015;
    static constexpr int kVoltageUnit = 1016, kCommandUnit = 1017;
    static constexpr int kPurposeText = 1376, kProcedureText = 1377;
    static constexpr int kVoltageLabel = 4050, kCommandLabel = 4051;
    static constexpr int kHelpTopic = 0x40104;
    // Only a short circuit stops the monitoring.
    static constexpr std::uint16_t kErrorMask = 0x0002;
    // A 10-bit conversion in the upper bits of a 16-bit word reads 1023 * 64 at full scale.
    static constexpr double kFullScale = 65472;

    CTestAnalogueRef(CMC_Setup* setup, void* parent);
    ~CTestAnalogueRef() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;

    const rurorade::CBarGraph& VoltageBar() const { return m_voltage.graph; }
    const rurorade::CBarGraph& CommandBar() const { return m_command.graph; }
    const std::string& CommandName() const { return m_commandName; }

private:
    struct Bar {
        rurorade::CBarGraph graph;
        double lower = 0.0, upper = 0.0;  // V, or the command's displayed unit
        int text = 0;                     // control showing the value
    };
    void ShowReading(Bar& bar, double counts);
    // Ends the monitoring on the drive too: nothing keeps its power stage on after the run.
    void StopMonitoring();

    Bar m_voltage, m_command;
    std::string m_commandName;
};
