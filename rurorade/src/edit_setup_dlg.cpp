#include "rurorade/edit_setup_dlg.h"

#include "motor_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "rurorade/host_errors.h"
#include "rurorade/numeric.h"

using rurorade::ControlKind;
using rurorade::UiContext;
using rurorade::UiEvent;

std::string FormatDisplayValue(double value)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", value);
    return buf;
}

namespace {

// Parses a whole number text (blanks around it allowed).
bool ParseNumber(const std::string& text, double& out)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    out = std::strtod(begin, &end);
    if (end == begin) return false;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0' && std::isfinite(out);
}

class QuietErrors {
public:
    QuietErrors() : m_saved(g_bShowErrors) { g_bShowErrors = 0; }
    ~QuietErrors() { g_bShowErrors = m_saved; }

private:
    int m_saved;
};

}  // namespace

CMC_EditSetupDlg::CMC_EditSetupDlg(CMC_Setup* setup, int templateId, int /*flag*/, const char* const* guideSteps, void* /*parent*/)
    : m_setup(setup), m_templateId(templateId)
{
    if (const rurorade::DialogTemplate* t = rurorade::FindDialogTemplate(templateId)) {
        m_title = t->title;
        for (const rurorade::ControlTemplate& c : t->controls) {
            CMC_Control control;
            control.id = c.id;
            control.kind = c.kind;
            control.text = c.text;
            control.group = c.group;
            m_controls.push_back(control);
        }
    }
    for (const char* const* step = guideSteps; step && *step; ++step) m_guide.emplace_back(*step);
    if (!m_guide.empty()) {
        auto add = [&](int id, ControlKind kind, const char* text) {
            CMC_Control& c = Ensure(id);
            c.kind = kind;
            c.text = text;
            c.group = "Guideline assistant";
        };
        add(rurorade::kGuideTextId, ControlKind::Edit, "");
        add(rurorade::kGuidePreviousId, ControlKind::Button, "Previous");
        add(rurorade::kGuideNextId, ControlKind::Button, "Next");
    }
}

CMC_EditSetupDlg::~CMC_EditSetupDlg() { UiContext::Get().KillTimers(this); }

CMC_Control& CMC_EditSetupDlg::Ensure(int id)
{
    for (CMC_Control& c : m_controls)
        if (c.id == id) return c;
    CMC_Control c;
    c.id = id;
    m_controls.push_back(c);
    return m_controls.back();
}

CMC_Control* CMC_EditSetupDlg::GetControl(int id)
{
    for (CMC_Control& c : m_controls)
        if (c.id == id) return &c;
    return nullptr;
}

// ---- modal run ----

int CMC_EditSetupDlg::DoModal()
{
    UiContext& ui = UiContext::Get();
    const auto snapshot = m_setup->TakeSnapshot();
    m_open = true;
    m_ended = false;
    m_result = rurorade::IDCANCEL;
    ui.PushDialog(this);
    if (ui.Driver()) ui.Driver()->DialogOpened(*this);
    OnInitDialog();
    if (!m_ended) OnShowWindow();
    RunLoop();
    ui.KillTimers(this);
    ui.PopDialog(this);
    m_open = false;
    if (m_result != rurorade::IDOK) m_setup->Restore(*snapshot);
    if (ui.Driver()) ui.Driver()->DialogClosed(*this, m_result);
    // The drawings' owners may go once the run is over.
    m_drawings.clear();
    return m_result;
}

void CMC_EditSetupDlg::RunLoop()
{
    UiContext& ui = UiContext::Get();
    while (!m_ended) {
        ui.FireDueTimers();
        if (m_ended) break;
        rurorade::UiDriver* driver = ui.Driver();
        if (driver == nullptr) {
            // Nobody to act: let time run to the next timer, or give up.
            const std::int64_t next = ui.NextDueMs();
            if (next < 0) {
                EndDialog(rurorade::IDCANCEL);
                break;
            }
            ui.RunFor(next - ui.GetClock().NowMs());
            continue;
        }
        Dispatch(driver->NextEvent(*this));
    }
}

void CMC_EditSetupDlg::Dispatch(const UiEvent& e)
{
    UiContext& ui = UiContext::Get();
    switch (e.kind) {
    case UiEvent::Commit: CommitText(e.id, e.text); break;
    case UiEvent::Click: Click(e.id); break;
    case UiEvent::Check:
        if (GetCheck(e.id) == 0) Click(e.id);
        break;
    case UiEvent::Select: Select(e.id, e.index); break;
    case UiEvent::Chord: OnKeyChord(); break;
    case UiEvent::Close:
        if (e.id == rurorade::IDOK)
            OnOK();
        else
            OnCancel();
        break;
    case UiEvent::Wait: ui.RunFor(e.ms); break;
    case UiEvent::Quit: EndDialog(rurorade::IDCANCEL); break;
    }
}

void CMC_EditSetupDlg::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
}

void CMC_EditSetupDlg::RegisterDrawing(const Drawing& drawing)
{
    std::erase_if(m_drawings, [&](const Drawing& d) { return d.controlId == drawing.controlId || d.object == drawing.object; });
    m_drawings.push_back(drawing);
}

void CMC_EditSetupDlg::SetTimer(int id, std::int64_t periodMs) { UiContext::Get().SetTimer(this, id, periodMs); }
void CMC_EditSetupDlg::KillTimer(int id) { UiContext::Get().KillTimer(this, id); }
void CMC_EditSetupDlg::PumpMessages()
{
    UiContext& ui = UiContext::Get();
    ui.FireDueTimers();
    UiEvent e;
    for (CMC_EditSetupDlg* top = ui.Topmost(); top && !top->IsEnding() && ui.Driver() && ui.Driver()->PollEvent(*top, e);
         top = ui.Topmost())
        top->Dispatch(e);
}

int CMC_EditSetupDlg::MessageBox(const std::string& text, const std::string& caption, int type)
{
    return UiContext::Get().MessageBox(text, caption.empty() ? m_title : caption, type);
}

// ---- default notifications ----

int CMC_EditSetupDlg::OnInitDialog()
{
    DoDataExchange(false);
    ShowGuideStep();
    return 1;
}

void CMC_EditSetupDlg::DoDataExchange(bool saveAndValidate)
{
    // Values reach the setup as soon as they are committed, so saving has nothing left to do.
    if (!saveAndValidate) RefreshAllParameters(0);
}

void CMC_EditSetupDlg::OnChangedParameterValue(const char*) {}
void CMC_EditSetupDlg::OnRefreshParameterValue(const char* name) { RefreshParameterControls(name); }
void CMC_EditSetupDlg::OnChangedParameterUnit(const char*) {}
void CMC_EditSetupDlg::OnShowWindow() {}
void CMC_EditSetupDlg::OnTimer(int) {}
void CMC_EditSetupDlg::OnCommand(int) {}
void CMC_EditSetupDlg::OnSelChange(int) {}
void CMC_EditSetupDlg::OnKeyChord() {}

void CMC_EditSetupDlg::OnOK()
{
    DoDataExchange(true);
    EndDialog(rurorade::IDOK);
}

void CMC_EditSetupDlg::OnCancel() { EndDialog(rurorade::IDCANCEL); }

// ---- bindings ----

void CMC_EditSetupDlg::AddParameterControls(const char* name, int edit, int unitCombo)
{
    m_bindings.push_back({Binding::Value, name, nullptr, edit, edit, unitCombo});
    BoundParameter(m_bindings.back(), true);
}

void CMC_EditSetupDlg::AddCheckParameterControls(const char* name, int check)
{
    m_bindings.push_back({Binding::Check, name, nullptr, check, check, 0});
    BoundParameter(m_bindings.back(), true);
}

void CMC_EditSetupDlg::AddSwitchParameterControls(const char* name, int combo)
{
    m_bindings.push_back({Binding::SwitchCombo, name, nullptr, combo, combo, 0});
    BoundParameter(m_bindings.back(), true);
}

void CMC_EditSetupDlg::AddSwitchParameterControls(const char* name, int firstRadio, int lastRadio)
{
    m_bindings.push_back({Binding::SwitchRadios, name, nullptr, firstRadio, lastRadio, 0});
    BoundParameter(m_bindings.back(), true);
}

void CMC_EditSetupDlg::AddSliderParameterControls(const char* name, int slider, int edit, int unitCombo, int spinLow,
                                                  int spinHigh, double min, double max)
{
    m_bindings.push_back({Binding::Slider, name, nullptr, slider, edit, unitCombo, spinLow, spinHigh, min, max});
    BoundParameter(m_bindings.back(), true);
}

bool CMC_EditSetupDlg::SliderRange(const Binding& b, CMC_Parameter& p, double& min, double& max) const
{
    min = std::isnan(b.min) ? p.GetMinInBaseUnit() : b.min;
    max = std::isnan(b.max) ? p.GetMaxInBaseUnit() : b.max;
    return std::isfinite(min) && std::isfinite(max) && max > min;
}

void CMC_EditSetupDlg::AddUserParameterControls(CMC_Parameter* parameter, int edit, int unitCombo)
{
    if (parameter == nullptr) return;
    m_bindings.push_back({Binding::Value, parameter->GetName(), parameter, edit, edit, unitCombo});
}

CMC_Parameter* CMC_EditSetupDlg::BoundParameter(const Binding& b, bool report) const
{
    if (b.user) return b.user;
    if (report) return m_setup->FindParameter(b.name.c_str());
    QuietErrors quiet;
    return m_setup->FindParameter(b.name.c_str());
}

void CMC_EditSetupDlg::FillUnitCombo(const Binding& b, CMC_Parameter& p)
{
    if (b.unitCombo == 0) return;
    CMC_Control& combo = Ensure(b.unitCombo);
    combo.items.clear();
    combo.selection = -1;
    std::size_t count = 0;
    const rurorade::UnitDef* units = rurorade::AllUnits(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (units[i].family != p.GetUnit().family) continue;
        if (&units[i] == &p.GetUnit()) combo.selection = static_cast<int>(combo.items.size());
        combo.items.emplace_back(std::string(units[i].name), 0.0);
    }
}

void CMC_EditSetupDlg::LoadBinding(const Binding& b)
{
    CMC_Parameter* p = BoundParameter(b, false);
    if (p == nullptr) return;
    const double value = p->GetValueInBaseUnit();
    switch (b.kind) {
    case Binding::Value:
        Ensure(b.first).text = FormatDisplayValue(p->GetValueInDisplayUnit());
        FillUnitCombo(b, *p);
        break;
    case Binding::Slider: {
        CMC_Control& slider = Ensure(b.first);
        double min = 0, max = 0;
        if (SliderRange(b, *p, min, max)) {
            slider.sliderMin = p->ToDisplay(min);
            slider.sliderMax = p->ToDisplay(max);
            slider.selection = TruncToInt32(std::round(std::clamp((value - min) / (max - min), 0.0, 1.0) * kSliderSteps));
        }
        if (b.last != 0) Ensure(b.last).text = FormatDisplayValue(p->GetValueInDisplayUnit());
        FillUnitCombo(b, *p);
        break;
    }
    case Binding::Check: Ensure(b.first).checked = TruncToInt32(value) != 0 ? 1 : 0; break;
    case Binding::SwitchCombo: {
        CMC_Control& combo = Ensure(b.first);
        combo.selection = -1;
        for (std::size_t i = 0; i < combo.items.size(); ++i)
            if (combo.items[i].second == value) combo.selection = static_cast<int>(i);
        break;
    }
    case Binding::SwitchRadios:
        for (int id = b.first; id <= b.last; ++id) Ensure(id).checked = (id - b.first == TruncToInt32(value)) ? 1 : 0;
        break;
    }
}

void CMC_EditSetupDlg::RefreshAllParameters(int)
{
    for (const Binding& b : m_bindings) LoadBinding(b);
}

void CMC_EditSetupDlg::RefreshParameterControls(const char* name)
{
    for (const Binding& b : m_bindings)
        if (name && b.name == name) LoadBinding(b);
}

void CMC_EditSetupDlg::ChangeValue(const Binding& b, CMC_Parameter& p, double base)
{
    const double min = p.GetMinInBaseUnit(), max = p.GetMaxInBaseUnit();
    if (base < min || base > max) {
        const std::string unit(p.GetUnit().name);
        MessageBox("Please enter a value between " + FormatDisplayValue(p.ToDisplay(min)) + " and " +
                       FormatDisplayValue(p.ToDisplay(max)) + (unit.empty() ? "" : " " + unit) + ".",
                   m_title, rurorade::MB_OK);
        LoadBinding(b);
        return;
    }
    if (base == p.GetValueInBaseUnit()) {
        LoadBinding(b);
        return;
    }
    p.SetValueInBaseUnit(base);
    const std::string name = b.name;  // the handlers may rebind
    OnChangedParameterValue(name.c_str());
    OnRefreshParameterValue(name.c_str());
}

// ---- user actions ----

void CMC_EditSetupDlg::CommitText(int id, const std::string& text)
{
    CMC_Control* control = GetControl(id);
    if (control && (!control->visible || !control->enabled)) return;
    for (const Binding& b : m_bindings) {
        const int edit = b.kind == Binding::Slider ? b.last : b.first;
        if ((b.kind != Binding::Value && b.kind != Binding::Slider) || edit != id) continue;
        CMC_Parameter* p = BoundParameter(b, false);
        if (p == nullptr) return;
        double shown = 0;
        if (!ParseNumber(text, shown)) {
            MessageBox("Please enter a number.", m_title, rurorade::MB_OK);
            LoadBinding(b);
            return;
        }
        const Binding copy = b;
        ChangeValue(copy, *p, p->FromDisplay(shown));
        return;
    }
    Ensure(id).text = text;
}

void CMC_EditSetupDlg::Click(int id)
{
    CMC_Control* control = GetControl(id);
    if (control && (!control->visible || !control->enabled)) return;
    if (id == rurorade::IDOK) return OnOK();
    if (id == rurorade::IDCANCEL) return OnCancel();
    if (m_motorEditor && MotorEditorClick(id)) return;
    if (id == rurorade::kGuidePreviousId || id == rurorade::kGuideNextId) {
        m_guideStep += id == rurorade::kGuideNextId ? 1 : -1;
        ShowGuideStep();
        return;
    }
    bool bound = false;
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        const Binding b = m_bindings[i];
        CMC_Parameter* p = nullptr;
        if (b.kind == Binding::Check && b.first == id) {
            bound = true;
            if ((p = BoundParameter(b, false))) ChangeValue(b, *p, TruncToInt32(p->GetValueInBaseUnit()) != 0 ? 0.0 : 1.0);
        } else if (b.kind == Binding::Slider && id != 0 && (id == b.spinLow || id == b.spinHigh)) {
            bound = true;
            double min = 0, max = 0;
            if ((p = BoundParameter(b, false)) && SliderRange(b, *p, min, max)) {
                const double step = (max - min) / kSliderSteps * (id == b.spinLow ? -1 : 1);
                ChangeValue(b, *p, std::clamp(p->GetValueInBaseUnit() + step, min, max));
            }
        } else if (b.kind == Binding::SwitchRadios && id >= b.first && id <= b.last) {
            bound = true;
            if ((p = BoundParameter(b, false))) ChangeValue(b, *p, id - b.first);
        }
        if (bound) break;
    }
    if (!bound && control) {
        if (control->kind == ControlKind::Check) control->checked = control->checked ? 0 : 1;
        if (control->kind == ControlKind::Radio) control->checked = 1;
    }
    OnCommand(id);
}

void CMC_EditSetupDlg::Select(int id, int index)
{
    CMC_Control* control = GetControl(id);
    if (control == nullptr || !control->visible || !control->enabled) return;
    for (const Binding& b : m_bindings) {
        if (b.kind != Binding::Slider || b.first != id) continue;
        CMC_Parameter* p = BoundParameter(b, false);
        double min = 0, max = 0;
        if (p == nullptr || index < 0 || index > kSliderSteps || !SliderRange(b, *p, min, max)) return;
        const Binding copy = b;
        ChangeValue(copy, *p, min + (max - min) * index / kSliderSteps);
        return;
    }
    if (index < 0 || index >= static_cast<int>(control->items.size())) return;
    for (std::size_t i = 0; i < m_bindings.size(); ++i) {
        const Binding b = m_bindings[i];
        CMC_Parameter* p = BoundParameter(b, false);
        if (p == nullptr) continue;
        if (b.unitCombo == id) {
            p->ChangeUnitType(control->items[static_cast<std::size_t>(index)].first.c_str());
            LoadBinding(b);
            OnChangedParameterUnit(b.name.c_str());
            return;
        }
        if (b.kind == Binding::SwitchCombo && b.first == id) {
            control->selection = index;
            ChangeValue(b, *p, control->items[static_cast<std::size_t>(index)].second);
            return;
        }
    }
    control->selection = index;
    if (m_motorEditor && MotorEditorSelect(id)) return;
    OnSelChange(id);
}

// ---- control state ----

void CMC_EditSetupDlg::ShowChild(int id, int show) { Ensure(id).visible = show != 0; }
void CMC_EditSetupDlg::ShowChildren(const int* ids, int show)
{
    for (; ids && *ids; ++ids) ShowChild(*ids, show);
}
void CMC_EditSetupDlg::EnableChild(int id, int enable, int) { Ensure(id).enabled = enable != 0; }
void CMC_EditSetupDlg::EnableChildren(const int* ids, int enable, int flag)
{
    for (; ids && *ids; ++ids) EnableChild(*ids, enable, flag);
}
void CMC_EditSetupDlg::SetChildText(int id, const char* text) { Ensure(id).text = text ? text : ""; }
std::string CMC_EditSetupDlg::GetChildText(int id) { return Ensure(id).text; }
void CMC_EditSetupDlg::SetButtonImage(int id, const char* bitmapName) { Ensure(id).image = bitmapName ? bitmapName : ""; }
void CMC_EditSetupDlg::SetCheck(int id, int checked) { Ensure(id).checked = checked; }
int CMC_EditSetupDlg::GetCheck(int id) { return Ensure(id).checked; }

void CMC_EditSetupDlg::CheckRadioButton(int first, int last, int checkedId)
{
    for (int id = first; id <= last; ++id) Ensure(id).checked = id == checkedId ? 1 : 0;
}

void CMC_EditSetupDlg::ResetItems(int comboId)
{
    Ensure(comboId).items.clear();
    Ensure(comboId).selection = -1;
}

int CMC_EditSetupDlg::AddItem(int comboId, const std::string& text, double itemData)
{
    CMC_Control& c = Ensure(comboId);
    c.items.emplace_back(text, itemData);
    return static_cast<int>(c.items.size()) - 1;
}

void CMC_EditSetupDlg::SetSelection(int comboId, int index) { Ensure(comboId).selection = index; }
int CMC_EditSetupDlg::GetSelection(int comboId) { return Ensure(comboId).selection; }

void CMC_EditSetupDlg::EnableCANSettings()
{
    CMC_Control& rates = Ensure(rurorade::kCanBaudRateId);
    rates.kind = ControlKind::Combo;
    rates.items.clear();
    for (const char* rate : {"125 kbps", "250 kbps", "500 kbps", "1 Mbps"}) rates.items.emplace_back(rate, 0.0);
    const std::string chosen = m_setup->GetOptionNoError("CANbusBaudRate");
    rates.selection = 2;
    for (std::size_t i = 0; i < rates.items.size(); ++i)
        if (rates.items[i].first == chosen) rates.selection = static_cast<int>(i);
    Ensure(rurorade::kCanOpenSettingsId).kind = ControlKind::Button;
}

void CMC_EditSetupDlg::ShowGuideStep()
{
    if (m_guide.empty()) return;
    const int last = static_cast<int>(m_guide.size()) - 1;
    m_guideStep = m_guideStep < 0 ? 0 : (m_guideStep > last ? last : m_guideStep);
    Ensure(rurorade::kGuideTextId).text = m_guide[static_cast<std::size_t>(m_guideStep)];
    Ensure(rurorade::kGuidePreviousId).enabled = m_guideStep > 0;
    Ensure(rurorade::kGuideNextId).enabled = m_guideStep < last;
}
