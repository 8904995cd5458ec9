#pragma once
// The host's setup-editing dialog as a view model: controls by id with their state, bindings of
// controls to setup parameters, data exchange, validation against limits, guide steps, timers
// and a modal loop fed by the UiDriver.
#include <cmath>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "rurorade/dialog_template.h"
#include "rurorade/setup.h"
#include "rurorade/ui.h"

class CGraphWindow;
class CEncoderDiagram;
class CHallDiagram;
class CPhaseDiagram;
class CMC_Oscilloscope;
namespace rurorade {
class CBarGraph;
}

struct CMC_Control {
    int id = 0;
    rurorade::ControlKind kind = rurorade::ControlKind::Static;
    std::string text;
    std::string group;
    bool visible = true;
    bool enabled = true;
    int checked = 0;
    std::vector<std::pair<std::string, double>> items;  // text and item data
    int selection = -1;  // combo item; slider position 0..kSliderSteps
    std::string image;
    double sliderMin = 0, sliderMax = 0;  // slider range, display unit
};

class CMC_EditSetupDlg {
public:
    // flag is always 1 in this family; guideSteps is a null-terminated list of texts or null.
    CMC_EditSetupDlg(CMC_Setup* setup, int templateId, int flag, const char* const* guideSteps, void* parent);
    virtual ~CMC_EditSetupDlg();
    CMC_EditSetupDlg(const CMC_EditSetupDlg&) = delete;
    CMC_EditSetupDlg& operator=(const CMC_EditSetupDlg&) = delete;

    // Shows the dialog modally: IDOK or another result. On any result but IDOK the setup is put back
    // as it was when the dialog opened (values, limits, units, options).
    virtual int DoModal();
    void EndDialog(int result);
    bool IsOpen() const { return m_open; }
    // The dialog has been told to close (its modal loop ends at the next event); long loops stop.
    bool IsEnding() const { return m_ended; }

    CMC_Setup* GetSetup() const { return m_setup; }
    int GetTemplateId() const { return m_templateId; }
    const std::string& GetTitle() const { return m_title; }

    // Bindings.
    void AddParameterControls(const char* name, int edit, int unitCombo);
    void AddCheckParameterControls(const char* name, int check);
    void AddSwitchParameterControls(const char* name, int combo);
    void AddSwitchParameterControls(const char* name, int firstRadio, int lastRadio);
    // A slider over [min, max] (base unit; NaN: the parameter's limits) with its edit, unit combo and
    // spin buttons (0: none). Moving the slider or a spin button changes the value like a typed edit.
    static constexpr int kSliderSteps = 100;
    void AddSliderParameterControls(const char* name, int slider, int edit, int unitCombo, int spinLow = 0,
                                    int spinHigh = 0, double min = std::nan(""), double max = std::nan(""));
    // A parameter object owned by the caller (test dialogs' user parameters).
    void AddUserParameterControls(CMC_Parameter* parameter, int edit, int unitCombo);

    // Reloads every bound control from the setup (no notification, no show/enable rules).
    void RefreshAllParameters(int flag);
    void RefreshParameterControls(const char* name);

    // Control state.
    CMC_Control* GetControl(int id);
    const std::vector<CMC_Control>& Controls() const { return m_controls; }
    void ShowChild(int id, int show);
    void ShowChildren(const int* ids, int show);
    void EnableChild(int id, int enable, int flag = 0);
    void EnableChildren(const int* ids, int enable, int flag = 0);
    void SetChildText(int id, const char* text);
    std::string GetChildText(int id);
    void SetButtonImage(int id, const char* bitmapName);
    void SetCheck(int id, int checked);
    int GetCheck(int id);
    void CheckRadioButton(int first, int last, int checkedId);
    void ResetItems(int comboId);
    int AddItem(int comboId, const std::string& text, double itemData = 0);
    void SetSelection(int comboId, int index);
    int GetSelection(int comboId);
    void EnableCANSettings();
    // Switches on the host's motor editor: the "Database" (10010) and "Motor" (10011) lists,
    // "Save to User Database" (10012) and "Delete" (10013), on the standard and the user motor
    // databases. Selecting a motor writes its data into the setup and reloads the controls.
    void InitializeMotorEditor();

    // Drawings put onto the dialog's controls (SubclassDlgItem), for a front end to paint. A
    // drawing stays registered until the dialog's modal run ends; its owner keeps it alive that long.
    struct Drawing {
        int controlId;
        std::variant<CGraphWindow*, rurorade::CBarGraph*, CEncoderDiagram*, CHallDiagram*, CPhaseDiagram*,
                     CMC_Oscilloscope*>
            object;
    };
    const std::vector<Drawing>& Drawings() const { return m_drawings; }
    // A drawing on a control that already has one replaces it; an object moved to another control
    // leaves its old one.
    void RegisterDrawing(const Drawing& drawing);

    // Guide steps.
    int GuideStepCount() const { return static_cast<int>(m_guide.size()); }
    int GuideStep() const { return m_guideStep; }

    // Timers on the host clock.
    void SetTimer(int id, std::int64_t periodMs);
    void KillTimer(int id);
    // Processes due timers and the user's pending events without blocking (a long loop calls it
    // so that Stop and the graph stay live).
    void PumpMessages();
    // Carries out one user event on this dialog.
    void Dispatch(const rurorade::UiEvent& event);

    int MessageBox(const std::string& text, const std::string& caption = "", int type = rurorade::MB_OK);

    // The event loop calls these for a user action on this dialog.
    void CommitText(int id, const std::string& text);
    void Click(int id);
    void Select(int id, int index);

    // Notifications and hooks for derived dialogs.
    virtual int OnInitDialog();
    virtual void DoDataExchange(bool saveAndValidate);
    virtual void OnChangedParameterValue(const char* name);
    virtual void OnRefreshParameterValue(const char* name);
    virtual void OnChangedParameterUnit(const char* name);
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnShowWindow();
    virtual void OnTimer(int id);
    virtual void OnCommand(int id);
    virtual void OnSelChange(int id);
    virtual void OnKeyChord();

protected:
    CMC_Setup* m_setup;

private:
    struct Binding {
        enum Kind { Value, Check, SwitchCombo, SwitchRadios, Slider } kind;
        std::string name;
        CMC_Parameter* user = nullptr;  // set for user parameters
        int first = 0, last = 0, unitCombo = 0;
        int spinLow = 0, spinHigh = 0;     // sliders
        double min = 0, max = 0;           // slider range, base unit (NaN: the parameter's limits)
    };
    bool SliderRange(const Binding& b, CMC_Parameter& p, double& min, double& max) const;
    CMC_Parameter* BoundParameter(const Binding& b, bool report) const;
    void LoadBinding(const Binding& b);
    void FillUnitCombo(const Binding& b, CMC_Parameter& p);
    void ChangeValue(const Binding& b, CMC_Parameter& p, double base);
    void ShowGuideStep();
    CMC_Control& Ensure(int id);
    // The motor editor (motor_editor.cpp).
    struct MotorEditor;
    bool MotorEditorClick(int id);
    bool MotorEditorSelect(int id);
    void FillMotorList();
    std::unique_ptr<MotorEditor> m_motorEditor;
    void RunLoop();

    int m_templateId;
    std::string m_title;
    std::vector<CMC_Control> m_controls;
    std::vector<Binding> m_bindings;
    std::vector<Drawing> m_drawings;
    std::vector<std::string> m_guide;
    int m_guideStep = 0;
    bool m_open = false;
    bool m_ended = false;
    int m_result = rurorade::IDCANCEL;
};

// Formats a value for an edit box (10 significant digits, which hides unit-conversion noise).
std::string FormatDisplayValue(double value);
