#pragma once
// Base of the controller tuning tests: two tab pages ("Test Parameters", "Test"), gain sliders
// narrowed around the values the dialog opened with, register recomputation after a gain
// changes, and live writing of the gain registers to a drive program that is running.
#include <initializer_list>
#include <vector>

#include "commissioning/my_test_dlg.h"

class CTuningTestDlg : public CMyTestDlg {
public:
    static constexpr int kGraphId = 1361;
    static constexpr int kProcedureId = 1377;
    static constexpr int kPictureId = 1376;
    static constexpr int kTuneId = 1390;
    // Short circuit and ENABLE input while a tuning program runs.
    static constexpr std::uint16_t kRunMask = 0x8002;

    CTuningTestDlg(CMC_Setup* setup, int templateId, int flag, void* parent);

protected:
    // A slider over 0.5 to 1.5 times the value at construction (within the parameter's limits).
    void AddTunedSlider(const char* name, int slider, int edit, int unitCombo, int spinLow, int spinHigh);
    // The two pages; the frame (Start/Stop, status, result, "Details", "S&ave Plots") is on page 1.
    void AddTuningPages(const std::vector<int>& parameterPage, std::vector<int> testPage);
    // Writes the register parameters to the drive in order while a test runs, stopping at the
    // first that fails. Returns false after a failure.
    bool WriteRegisters(std::initializer_list<const char*> names);
    // Whether the setup has `name`, asked without reporting a missing one.
    bool Has(const char* name) const;
    double Base(const char* name) const;

    // The check made before page 1 is shown; false keeps the dialog on page 0.
    virtual bool CanShowTestPage() { return true; }
    bool OnTabPageChanging(int from, int to) override;
    void OnTabPageChanged(int page) override;

    CGraphWindow m_graph{2, 0};
};
