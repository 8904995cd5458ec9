#include "commissioning/profile_tuning_test.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "commissioning/inertia_identification.h"
#include "commissioning/tuning_rules.h"
#include "editor/filters_dlg.h"
#include "editor/inertia_question_dlg.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kPositioningProgram = "Initial_Positioning_Test";
const char* const kSteps[] = {
    "Launching the application for preliminary test", "Waiting preliminary test to be finished",
    "Launching the application for test",             "Running test",
    "Uploading results",
};
// Step index on the tick that sees each phase.
constexpr std::uint16_t kPositioningEnd = 2, kLaunch = 3, kMainRun = 4, kUpload = 5;
constexpr std::int64_t kScopeTickMs = 1;
// Virtual time that passes between two passes of an on-line plot loop.
constexpr std::int64_t kOnlinePassMs = 20;
// Every fault but the Hall sensor's while the profile plays; every fault before it starts.
constexpr std::uint16_t kProfileMask = 0xFFDF, kStartMask = 0xFFFF;

CProfileTuningTest* g_pTuningDlg = nullptr;  // the open speed or position tuning test, for the frame handler

bool Is(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0; }

}  // namespace

const char* const CProfileTuningTest::kProtectionTripped = "Test failed!\nCurrent protection triggered during test!";
const char* const CProfileTuningTest::kCyclicRunText = "Test running. Press \"Stop\" to end the test";

CProfileTuningTest::CProfileTuningTest(CMC_Setup* setup, int templateId, int flag, void* parent, const Names& names)
    : CTuningTestDlg(setup, templateId, flag, parent), m_names(names)
{
    m_nStopRequestKind = 1;  // the test ends its own runs (a cyclic run uploads after Stop)
    QuantiseTestValue();
    AddParameterControls("TestLimitCurrent", kLimitEdit, kLimitUnit);
    AddParameterControls("TestStartCurrent", kStartEdit, kStartUnit);
    AddParameterControls("TestProtectionCurrent", kProtectionEdit, kProtectionUnit);
    AddParameterControls(names.testValue, names.testValueEdit, names.testValueUnit);
    AddParameterControls(names.ta, kTaEdit, kTaUnit);
    AddParameterControls(names.t, kTEdit, kTUnit);
    AddParameterControls(names.tan, kTanEdit, kTanUnit);
    AddParameterControls(names.tn, kTnEdit, kTnUnit);
    if (HasSpeedTestReferenceType(m_setup))
        AddSwitchParameterControls(names.referenceType, kPositiveRadio, kBidirectionalRadio);
    AddCheckParameterControls(names.multiCycle, kMultiCycleCheck);
    AddSwitchParameterControls(names.onlinePlot, kDataLoggerRadio, kOnlinePlotRadio);
    AddParameterControls("Jt", kJtEdit, kJtUnit);
    AddTunedSlider(names.kp, kKpSlider, kKpEdit, 0, kKpSpinLow, kKpSpinHigh);
    AddTunedSlider(names.ki, kKiSlider, kKiEdit, 0, kKiSpinLow, kKiSpinHigh);
    AddTunedSlider(names.saturation, kSatSlider, kSatEdit, kSatUnit, kSatSpinLow, kSatSpinHigh);
    AddTunedSlider("KFFS_scl", kFfsSlider, kFfsEdit, 0, kFfsSpinLow, kFfsSpinHigh);
    AddTunedSlider("KFFA_scl", kFfaSlider, kFfaEdit, 0, kFfaSpinLow, kFfaSpinHigh);
    AddTunedSlider(names.passband, kPassbandSlider, kPassbandEdit, kPassbandUnit, kPassbandSpinLow, kPassbandSpinHigh);
    AddTunedSlider("Jload_over_J", kRatioSlider, kRatioEdit, 0, kRatioSpinLow, kRatioSpinHigh);
    m_nStepCount = OnlinePlot() ? 4 : 5;

    m_dataLogger = std::make_unique<CMC_SingleAxisLogger>(setup, &m_main);
    if (setup->GetIntOption("hasOscilloscope") != 0) {
        m_scopeLogger = std::make_unique<CMC_ScopeLogger>(setup, &m_main);
        m_previousHandler = CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(&CProfileTuningTest::OnUnsolicitedMessage);
        g_pTuningDlg = this;
    }
}

CProfileTuningTest::~CProfileTuningTest()
{
    m_dataLogger.reset();
    if (m_scopeLogger) {
        m_scopeLogger.reset();
        CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(m_previousHandler);
    }
    if (g_pTuningDlg == this) g_pTuningDlg = nullptr;
}

bool CProfileTuningTest::OnlinePlot() const { return m_setup->GetParameterValueInBaseUnit(m_names.onlinePlot) != 0; }
bool CProfileTuningTest::MultiCycle() const { return m_setup->GetParameterValueInBaseUnit(m_names.multiCycle) != 0; }
int CProfileTuningTest::ReferenceType() const
{
    if (!HasSpeedTestReferenceType(m_setup)) return 0;
    return TruncToInt32(m_setup->GetParameterValueInBaseUnit(m_names.referenceType));
}

void CProfileTuningTest::QuantiseTestValue()
{
    CMC_Parameter* p = QuietFindParameter(m_setup, m_names.testValue);
    if (p) p->SetValueInBaseUnit(::QuantiseTestValue(p->GetValueInBaseUnit(), ProfileScale()));
}

// ---- opening ----

int CProfileTuningTest::OnInitDialog()
{
    CMyTestDlg::OnInitDialog();
    SetButtonImage(kCurrentPictureId, CurrentLimitPicture(Base("CommutationMethod") != 0));
    ShowProfilePicture();
    LoadProgram(m_positioning, kPositioningProgram);
    LoadProgram(m_main, ProgramName());
    SetButtonImage(kPauseId, "PAUSE_");
    SetButtonImage(kContinueId, "CONTINUE_");
    SetChildText(m_names.valueLabels[0], "");
    SetChildText(m_names.valueLabels[1], "");

    const auto variables = LoggedVariables();
    m_dataLogger->ChangeSettings(2000, 1, 1);
    for (const char* v : variables) m_dataLogger->AddVariable(v, 1);
    CGraphFilter* filter = m_dataLogger->GetDocument().GetAt(0);
    filter->Add({0, 1, 1, 2, 2});
    filter->Add({0, 3, 2, 8, 2});
    filter->Add({0, 2, 1, 5, 2});
    filter->Add({0, 4, 2, 9, 2});
    m_dataLogger->LocateItems();
    m_graph.SubclassDlgItem(kGraphId, this);
    m_graph.SetDocument(&m_dataLogger->GetDocument());
    SetPlots(m_dataLogger.get(), m_names.fileBase);

    if (m_scopeLogger) {
        SetChildText(kOnlinePlotRadio, "Scope");
        m_layoutChanged = m_scopeLogger->LoadSettingsFromSetupOption(m_names.oscSettings) != 0;
        if (!m_layoutChanged) BuildDefaultScopeLayout();
        m_onlineGraph.SubclassDlgItem(kOnlineGraphId, this);
        m_onlineGraph.SetDocument(&m_scopeLogger->GetDocument());
    } else {
        m_oscilloscope.SubclassDlgItem(kOnlineGraphId, this);
    }
    SetChildText(kProcedureId, m_names.procedure);
    std::vector<int> parameterPage = {kLimitEdit, kLimitUnit, kStartEdit, kStartUnit, kStartLabel, kProtectionEdit,
                                      kProtectionUnit, m_names.testValueEdit, m_names.testValueUnit, kTaEdit, kTaUnit,
                                      kTEdit, kTUnit, kTanEdit, kTanUnit, kTnEdit, kTnUnit, kReferenceTypeGroup,
                                      kPositiveRadio, kNegativeRadio, kBidirectionalRadio, kMultiCycleCheck,
                                      kProcedureId, kPictureId, kProfilePictureId, kCurrentPictureId};
    std::vector<int> testPage = {kDataLoggerRadio, kOnlinePlotRadio, kJtEdit, kJtUnit, m_names.identifyId, kKpSlider,
                                 kKpEdit, kKpSpinLow, kKpSpinHigh, kKiSlider, kKiEdit, kKiSpinLow, kKiSpinHigh,
                                 kSatSlider, kSatEdit, kSatUnit, kSatSpinLow, kSatSpinHigh, kFeedforwardGroup,
                                 kFfsSlider, kFfsEdit, kFfsSpinLow, kFfsSpinHigh, kFfaSlider, kFfaEdit, kFfaSpinLow,
                                 kFfaSpinHigh, kPassbandSlider, kPassbandEdit, kPassbandUnit, kPassbandSpinLow,
                                 kPassbandSpinHigh, kRatioSlider, kRatioEdit, kRatioSpinLow, kRatioSpinHigh, kTuneId,
                                 kFiltersId, kGraphId, kOnlineGraphId, kPauseId, kContinueId, m_names.valueLabels[0],
                                 m_names.valueLabels[1], kReferenceMarker, kMeasuredMarker};
    parameterPage.insert(parameterPage.end(), m_names.parameterPage.begin(), m_names.parameterPage.end());
    testPage.insert(testPage.end(), m_names.testPage.begin(), m_names.testPage.end());
    AddTuningPages(parameterPage, testPage);
    AskInertiaQuestion();
    EnableChild(kFiltersId, HasBiquadFilters(m_setup));
    RefreshAllParameters(0);
    DoDataExchange(false);
    return 1;
}

void CProfileTuningTest::AskInertiaQuestion()
{
    if (Base("Jm") > Base("Jt") && Base("isMotorInertiaUnknown") == 0) {
        CInertiaQuestion question(m_setup, nullptr);
        question.DoModal();
    }
    const double jm = Base("Jm");
    // A motor inertia of 0 has no ratio to show.
    if (jm != 0) m_setup->SetParameterValueInBaseUnit("Jload_over_J", (Base("Jt") - jm) / jm);
}

void CProfileTuningTest::ShowProfilePicture()
{
    static const char* const kPictures[] = {"314", "3067", "3068"};
    const int type = ReferenceType();
    SetButtonImage(kProfilePictureId, kPictures[type >= 0 && type <= 2 ? type : 0]);
}

// ---- data exchange and pages ----

void CProfileTuningTest::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    const bool page1 = GetTabPage() == 1, page0 = !page1;
    const bool running = m_bTestRunning, online = OnlinePlot();
    EnableChild(rurorade::IDOK, !running);
    EnableChild(kDataLoggerRadio, !running);
    EnableChild(m_names.identifyId, !running);
    EnableChild(kOnlinePlotRadio, !running && (MultiCycle() || m_scopeLogger));
    for (int id : {kKpSlider, kKpEdit, kKpSpinLow, kKpSpinHigh, kKiSlider, kKiEdit, kKiSpinLow, kKiSpinHigh, kSatSlider,
                   kSatEdit, kSatUnit, kSatSpinLow, kSatSpinHigh, kFfaSlider, kFfaEdit, kFfaSpinLow, kFfaSpinHigh})
        EnableChild(id, !running || online);
    ShowChild(kSavePlotsId, page1 && (!online || m_scopeLogger));
    ShowChild(kGraphId, page1 && !online);
    ShowChild(kOnlineGraphId, page1 && online);
    const bool labels = running && online && !m_scopeLogger;
    for (int id : m_names.valueLabels) ShowChild(id, labels);
    ShowChild(kPauseId, !m_scopeLogger);
    ShowChild(kContinueId, !m_scopeLogger);
    if (!(running && online)) {
        EnableChild(kPauseId, 0);
        EnableChild(kContinueId, 0);
    }
    const bool startControls = page0 && Base("StartMode") == 0 && Base("CommutationMethod") != 0;
    for (int id : {kStartEdit, kStartUnit, kStartLabel}) ShowChild(id, startControls);
    for (int id : {kRatioSlider, kRatioEdit, kRatioSpinLow, kRatioSpinHigh})
        EnableChild(id, Base("isMotorInertiaUnknown") == 0);
    const bool types = page0 && HasSpeedTestReferenceType(m_setup);
    for (int id : {kReferenceTypeGroup, kPositiveRadio, kNegativeRadio, kBidirectionalRadio}) ShowChild(id, types);
    ShowChild(kDetailsId, page1 && !running && m_nResult != 1 && !m_strError.empty());
    ApplyTestRules();
}

bool CProfileTuningTest::CanShowTestPage()
{
    if (Base("TestLimitCurrent") <= Base("TestProtectionCurrent")) return true;
    MessageBox(LimitAboveProtectionText(), GetTitle(), rurorade::MB_OK);
    return false;
}

void CProfileTuningTest::OnTabPageChanged(int page)
{
    if (page == 1) m_preliminaryRun = false;
    CTuningTestDlg::OnTabPageChanged(page);
}

// ---- parameter notifications ----

void CProfileTuningTest::OnChangedParameterValue(const char* name)
{
    const bool inertiaKnown = Base("isMotorInertiaUnknown") == 0;
    if (Is(name, m_names.multiCycle)) {
        if (!MultiCycle() && !m_scopeLogger) {
            m_setup->SetParameterValueInBaseUnit(m_names.onlinePlot, 0);
            RefreshAllParameters(0);
        }
        if (m_scopeLogger) ComputeScopeTrigger();
    } else if (Is(name, "Jt")) {
        const double jm = Base("Jm");
        if (inertiaKnown && jm != 0) {
            m_setup->SetParameterValueInBaseUnit("Jload_over_J", (Base("Jt") - jm) / jm);
            RefreshParameterControls("Jload_over_J");
        }
    } else if (Is(name, "Jload_over_J")) {
        if (inertiaKnown) {
            m_setup->SetParameterValueInBaseUnit("Jt", (Base("Jload_over_J") + 1) * Base("Jm"));
            RefreshParameterControls("Jt");
        }
    } else if (Is(name, m_names.testValue)) {
        QuantiseTestValue();
        RefreshParameterControls(name);
        if (m_scopeLogger) RescaleScopeChannels(name);
    } else if (Is(name, "TestLimitCurrent") || Is(name, m_names.ta) || Is(name, m_names.tan)) {
        if (m_scopeLogger) RescaleScopeChannels(name);
    } else if (Is(name, m_names.t) || Is(name, m_names.tn)) {
        if (m_scopeLogger) ComputeScopeTrigger();
    } else {
        OnGainChanged(name);
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CProfileTuningTest::OnChangedParameterUnit(const char* name)
{
    if (m_scopeLogger && (Is(name, m_names.testValue) || Is(name, "TestLimitCurrent"))) RescaleScopeChannels(name);
    CMyTestDlg::OnChangedParameterUnit(name);
}

void CProfileTuningTest::OnRefreshParameterValue(const char* name)
{
    if (Is(name, "Jt") && Base("Jt") < Base("Jm") && Base("isMotorInertiaUnknown") == 0) {
        MessageBox("You have chosen a value for the total inertia that is lower than the value of the motor inertia.\n"
                   "The application will assume the motor inertia is unknown.",
                   GetTitle(), rurorade::MB_OK);
        m_setup->SetParameterValueInBaseUnit("isMotorInertiaUnknown", 1);
        DoDataExchange(false);
    } else if (Is(name, "TestStartCurrent") && Base("TestStartCurrent") > 100) {
        char text[400];
        std::snprintf(text, sizeof text,
                      "You have set a start current bigger than the nominal current! The start current will be applied "
                      "for %.2f s.\n\nThe motor must withstand this over current condition or it may be damaged.",
                      Base("time_AB"));
        MessageBox(text, GetTitle(), rurorade::MB_OK);
    } else if (Is(name, m_names.referenceType)) {
        ShowProfilePicture();
        if (m_scopeLogger) RescaleScopeChannels(name);
    } else if (m_bTestRunning) {
        WriteGainLive(name);
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

// ---- commands ----

void CProfileTuningTest::OnCommand(int id)
{
    switch (id) {
    case kTuneId: Tune(); return;
    case kStartStopId: return OnStartStop();
    case kPauseId:
    case kContinueId:
        m_paused = id == kPauseId;
        EnableChild(kPauseId, !m_paused);
        EnableChild(kContinueId, m_paused);
        return;
    case kFiltersId: return OpenFilters();
    case kHelpId: return ShowHelp(m_names.helpTopic);
    case kSavePlotsId:
    case kSavePlotsCommand:
        if (m_bTestRunning) return;
        if (OnlinePlot()) {
            if (m_scopeLogger) m_scopeLogger->SaveGraph(m_names.fileBase);
        } else {
            m_dataLogger->SaveGraph(m_names.fileBase);
        }
        return;
    case kPictureCommand:
        if (!m_bTestRunning) (OnlinePlot() ? m_onlineGraph : m_graph).CreateWMF(m_names.fileBase);
        return;
    case kAsciiCommand:
        if (!m_bTestRunning) {
            CGraphDocument* document = (OnlinePlot() ? m_onlineGraph : m_graph).GetDocument();
            if (document) document->GetAt(0)->ExportToASCII(m_names.fileBase);
        }
        return;
    case kScopeEdit:
    case kScopeDefaults:
    case kScopeAutoscale:
    case kScopeLoad:
    case kScopeSave: return ScopeCommand(id);
    default: break;
    }
    if (id == m_names.identifyId) return Identify();
    CMyTestDlg::OnCommand(id);
}

void CProfileTuningTest::OnStartStop()
{
    if (m_bTestRunning && OnlinePlot() && m_scopeLogger && m_scopeLogger->UploadInProgress()) {
        m_scopeLogger->EndUploadData();
        if (m_scopeLogger->UploadInProgress()) return;
    }
    if (m_bTestRunning && m_nStepIndex < kMainRun) {
        // Stopped before the profile runs: the run ends at once, as any test's would (the
        // profile's launch would otherwise clear the request).
        m_nStopRequestKind = 0;
        OnBtnStartStop();
        m_nStopRequestKind = 1;
        return;
    }
    if (m_bTestRunning) {
        m_bContinuousRun = false;
        m_bStopRequest = true;
    }
    OnBtnStartStop();
}

void CProfileTuningTest::Identify()
{
    CTotalInertiaTest test(m_setup, nullptr);
    if (test.DoModal() == rurorade::IDOK) {
        OnChangedParameterValue("Jt");
        RefreshAllParameters(0);
    }
}

void CProfileTuningTest::OpenFilters()
{
    if (!HasBiquadFilters(m_setup)) return;
    EncodeRegisters(m_setup);
    DecodeRegisters(m_setup);
    CFiltersDialog filters(m_setup, m_bTestRunning ? 1 : 0, nullptr);
    if (filters.DoModal() == rurorade::IDOK) {
        EncodeRegisters(m_setup);
        DecodeRegisters(m_setup);
        if (m_bTestRunning) WriteFilterRegisters();
    }
    DoDataExchange(false);
}

void CProfileTuningTest::WriteFilterRegisters()
{
    // The biquads' initial state and coefficient registers, stopping at the first that fails.
    for (const auto& p : m_setup->Parameters()) {
        const std::string& name = p->GetName();
        if ((name.rfind("BQ", 0) == 0 || name == "IQREF_BQ_INI") && !p->WriteToChip()) return;
    }
}

void CProfileTuningTest::ScopeCommand(int id)
{
    if (!m_scopeLogger || m_bTestRunning) return;
    switch (id) {
    case kScopeEdit:
    case kScopeAutoscale:
        if ((id == kScopeEdit ? m_scopeLogger->Edit(this) : m_scopeLogger->Autoscale()) != 0) {
            m_layoutChanged = true;
            m_onlineGraph.Invalidate();
        }
        return;
    case kScopeDefaults:
        if (!m_layoutChanged) return;
        m_layoutChanged = false;
        m_scopeLogger->SetDefaultValues();
        BuildDefaultScopeLayout();
        m_onlineGraph.SetDocument(&m_scopeLogger->GetDocument());
        return;
    case kScopeLoad:
    case kScopeSave: {
        const std::string path = std::string(m_names.fileBase) + ".scope.json";
        if (id == kScopeSave) {
            m_scopeLogger->Save(path.c_str());
        } else if (m_scopeLogger->Load(path.c_str())) {
            m_layoutChanged = true;
            m_onlineGraph.SetDocument(&m_scopeLogger->GetDocument());
        }
        return;
    }
    default: return;
    }
}

void CProfileTuningTest::OnChangeChannelScale(int controlId, int packed)
{
    if (!m_scopeLogger) return;
    const int channel = packed & 0xFFFF;
    const int step = static_cast<std::int16_t>((packed >> 16) & 0xFFFF);
    if (m_scopeLogger->ChangeChannelScale(channel, step)) {
        m_layoutChanged = true;
        if (controlId == kOnlineGraphId) m_onlineGraph.Invalidate();
    }
}

// ---- scope layout ----

void CProfileTuningTest::BuildDefaultScopeLayout()
{
    for (const char* v : LoggedVariables()) m_scopeLogger->AddVariable(v, 1);
    CGraphFilter* filter = m_scopeLogger->GetDocument().GetAt(0);
    filter->colour = 4;
    filter->floats = {-4.2, -3.5};
    filter->RemoveAll();
    filter->Add({0, 1, 1, 2, 2});
    filter->Add({0, 2, 1, 5, 2});
    filter->Add({0, 3, 2, 8, 2});
    filter->Add({0, 4, 2, 9, 2});
    RescaleScopeChannels(nullptr);
    m_scopeLogger->LocateItems();
}

void CProfileTuningTest::RescaleChannels(std::initializer_list<const char*> variables, const char* unitParameter,
                                         double x, double offsetInScales)
{
    CMC_Parameter* p = QuietFindParameter(m_setup, unitParameter);
    if (!m_scopeLogger || m_layoutChanged || p == nullptr) return;
    const double scale = ScopeScale125(x);
    for (const char* v : variables) m_scopeLogger->RescaleVariable(v, std::string(p->GetUnit().name).c_str(), scale, offsetInScales * scale);
}

void CProfileTuningTest::ComputeScopeTrigger()
{
    if (!m_scopeLogger || m_layoutChanged) return;
    const bool hasValue = QuietFindParameter(m_setup, m_names.testValue) != nullptr;
    const ScopeTrigger trigger =
        ::ComputeScopeTrigger(hasValue, HasSpeedTestReferenceType(m_setup), ReferenceType(),
                              hasValue ? Base(m_names.testValue) : 0, Base(m_names.ta), Base(m_names.t),
                              Base(m_names.tan), Base(m_names.tn), MultiCycle());
    m_scopeLogger->ChangeSettings(trigger.span, trigger.mode, trigger.slope,
                                  trigger.useVariable ? LoggedVariables()[0] : nullptr, trigger.level,
                                  trigger.preTrigger);
    m_scopeLogger->LocateItems();
}

// ---- a run ----

void CProfileTuningTest::BeginTest()
{
    RefreshAllParameters(0);
    m_bStopRequest = false;
    m_bContinuousRun = false;
    m_preliminaryRun = false;
    m_bTestRunning = true;
    m_nStepCount = OnlinePlot() ? 4 : 5;
    m_nResult = -1;
    m_strError.clear();
    if (Base("CommutationMethod") != 0 && Base("StartMode") == 0) {
        m_nStepIndex = 0;
        m_preliminaryRun = true;
        SetInfoText(kSteps[0]);
        const double scale = CurrentScale(m_setup);
        const double start = TruncToInt32(std::fmin(scale * Base("In"), scale * Base("InPS")) * Base("TestStartCurrent") / 100);
        if (HasStartMinMove(m_setup)) m_setup->SetParameterValueInBaseUnit("ABSTART_MINMOVE", 0.0);
        DoDataExchange(false);
        LaunchProgram(m_positioning, kPositioningProgram, {{"In1", start}}, nullptr, kSteps[1]);
        return;
    }
    m_nStepIndex = 2;
    DoDataExchange(false);
    SetInfoText(kSteps[2]);
    SetTimer(kTestTimer, kTickMs);
}

void CProfileTuningTest::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPositioningEnd:
        if (WaitForProgram(m_positioning, kRunMask) == ProgramState::Ended) EndPositioningRun();
        return;
    case kLaunch: return Launch();
    case kMainRun: return MainProgramTick();
    case kUpload: return UploadTick();
    default: return Fail(msc_pszErrInternal);
    }
}

void CProfileTuningTest::EndPositioningRun()
{
    double held = 0;
    if (!ReadProgramResult(m_positioning, "In1", held)) return;
    if (!ReadDriveVariable("REFTST_V", true, m_reference) || !ReadDriveVariable("RINCTST_V", true, m_increment)) return;
    if (held <= 0) return Fail(msc_pszErrInZero);
    SetInfoText(kSteps[2]);
    Launch();
}

bool CProfileTuningTest::WriteInput(const char* name, double value)
{
    if (SetUserVariableValue(&m_main, name, value, m_strError)) return true;
    FailWithHostReason();
    return false;
}

bool CProfileTuningTest::WriteProfile()
{
    const double target = std::round(Base(m_names.testValue) * ProfileScale());
    // Nothing reaches the drive unless the whole profile fits.
    const ProfileError error =
        BuildReferenceProfile(m_names.kind, ReferenceType(), static_cast<std::int64_t>(std::fmax(-1e15, std::fmin(1e15, target))),
                              Base(m_names.ta), Base(m_names.t), Base(m_names.tan), Base(m_names.tn),
                              SpeedLoopPeriod(m_setup), m_profile);
    if (error != ProfileError::None) {
        Fail(error == ProfileError::Count ? kProfileCountError : kProfileSlopeError);
        return false;
    }
    for (int i = 0; i < 6; ++i) {
        char a[4] = {'a', static_cast<char>('0' + i), 0}, b[4] = {'b', static_cast<char>('0' + i), 0};
        if (!WriteInput(a, static_cast<double>(m_profile[i].count)) ||
            !WriteInput(b, static_cast<double>(m_profile[i].slope) / 65536))
            return false;
    }
    return true;
}

void CProfileTuningTest::Launch()
{
    const double reference = m_preliminaryRun ? m_reference : m_setup->GetParameterValueInInternalUnit("REFTST");
    const double increment = m_preliminaryRun ? m_increment : m_setup->GetParameterValueInInternalUnit("RINCTST");
    if (!WriteInput("RefTest", static_cast<std::int16_t>(TG_Round(reference))) ||
        !WriteInput("RIncTest", static_cast<std::int16_t>(TG_Round(increment))) || !WriteInputsBeforeProfile() ||
        !WriteProfile())
        return;
    const bool cyclic = MultiCycle();
    if (!WriteInput("MultiC", cyclic ? 1 : 0) || !WriteInputsAfterProfile()) return;
    m_bContinuousRun = cyclic;
    const bool online = OnlinePlot();
    if (online && !m_scopeLogger) {
        const double v = std::round(Base(m_names.testValue) * ProfileScale());
        m_oscilloscope.Init(2);
        const double low = v >= 0 ? -0.2 * v : 1.2 * v, high = v >= 0 ? 1.2 * v : -0.2 * v;
        m_oscilloscope.SetChannel(1, low, high, 2);
        m_oscilloscope.SetChannel(2, low, high, 5);
    }
    if (HasStartMinMove(m_setup)) encode::ABSTART_MINMOVE(m_setup);
    CMC_Logger* logger = online ? static_cast<CMC_Logger*>(m_scopeLogger.get()) : m_dataLogger.get();
    if (!ExecuteCode(ProgramName(), &m_main, logger)) return Fail(msc_pszErrInternal);
    SetInfoText(cyclic ? kCyclicRunText : kSteps[3]);
    if (cyclic) m_nStepIndex = kMainRun;  // the cyclic text stands for step 3
    m_bStopRequest = false;
    SetTimer(kTestTimer, online && m_scopeLogger ? kScopeTickMs : kTickMs);
    if (online) m_onlineGraph.Invalidate();
    DoDataExchange(false);
}

int CProfileTuningTest::CheckTestFlag(bool fail)
{
    double flag = 0, started = 0;
    std::string error;
    // Before the program has started its flag says nothing yet.
    if (GetUserVariableValue(&m_main, "STARTED", started, error) && started == 0) return 1;
    if (!GetUserVariableValue(&m_main, "test_flag", flag, error) || flag == kUnreadableValue) {
        m_strError = msc_pszErrInternal;
    } else if (flag <= 0) {
        m_strError = kProtectionTripped;
    } else {
        return 1;
    }
    if (fail) TestFailed(1);
    return 0;
}

void CProfileTuningTest::MainProgramTick()
{
    const bool online = OnlinePlot();
    if (online && m_scopeLogger) return ScopeLoop();
    if (online) return OscilloscopeLoop();
    if (!MultiCycle()) {
        double started = 0;
        if (!ReadProgramResult(m_main, "STARTED", started)) return;
        if (started == 0) {
            if (CheckDriveErrors(kStartMask, 1)) SetTimer(kTestTimer, kTickMs);
            return;
        }
        bool on = false;
        if (!GetAxisOn(on)) return FailWithHostReason();
        if (!on) SetInfoText(kSteps[4]);
        SetTimer(kTestTimer, kTickMs);
        return;
    }
    if (m_bStopRequest) {
        // The drive halts the cyclic program; what it logged is uploaded next.
        if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
        DoDataExchange(false);
        SetInfoText(kSteps[4]);
        SetTimer(kTestTimer, kScopeTickMs);
        return;
    }
    if (!CheckTestFlag(false) || !CheckDriveErrors(kProfileMask, 0)) m_bStopRequest = true;
    SetTimer(kTestTimer, kTickMs);
}

void CProfileTuningTest::UploadTick()
{
    const bool good = CheckDriveErrors(kProfileMask, 0) && CheckTestFlag(false);
    m_bContinuousRun = !good;
    if (!good) m_bStopRequest = false;  // Stop can still cut the upload short
    if (!UploadResults(m_dataLogger.get(), &m_graph, nullptr, false)) {
        if (m_bTestRunning && m_strError.empty()) Fail(msc_pszErrInternal);
        return;
    }
    m_bContinuousRun = false;
    if (!CheckDriveErrors(kProfileMask, 1) || !CheckTestFlag(true)) return;
    TestSucceeded(1);
    DoDataExchange(false);
}

void CProfileTuningTest::ScopeLoop()
{
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    if (m_bStopRequest) {
        m_scopeLogger->EndUploadData();
        return;
    }
    if (!m_scopeLogger->BeginOrContinueUploadData()) return Fail(msc_pszErrInternal);
    while (!m_bStopRequest) {
        m_framesReceived = false;
        if (m_scopeLogger->DoGracefulStop()) {
            m_bStopRequest = false;
            m_bContinuousRun = false;
            if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
            if (CheckDriveErrors(kProfileMask, 1) && CheckTestFlag(true)) TestSucceeded(1);
            m_scopeLogger->EndUploadData();
            DoDataExchange(false);
            return;
        }
        CMC_Comm::CheckForUnrequestedMessages(m_setup);
        if (!m_scopeLogger->UploadInProgress()) return Fail(msc_pszErrInternal);
        if (!m_framesReceived && (!CheckDriveErrors(kProfileMask, 1) || !CheckTestFlag(true))) {
            m_scopeLogger->EndUploadData();
            return;
        }
        PumpMessages();
        if (!m_bTestRunning || IsEnding()) break;
        ui.RunFor(kScopeTickMs);
    }
    m_scopeLogger->EndUploadData();
    if (m_bTestRunning) {
        // Stopped by the user: the screen so far is the result.
        if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
        m_bContinuousRun = false;
        m_bStopRequest = false;
        TestSucceeded(1);
    }
    DoDataExchange(false);
}

void CProfileTuningTest::OscilloscopeLoop()
{
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    m_paused = false;
    EnableChild(kPauseId, 1);
    EnableChild(kContinueId, 0);
    CMC_Variable* reference = m_setup->FindVariable(m_names.onlineVariables[0], 1);
    CMC_Variable* measured = m_setup->FindVariable(m_names.onlineVariables[1], 1);
    if (reference == nullptr || measured == nullptr) return Fail(msc_pszErrInternal);
    measured->ChangeUnitType(std::string(reference->GetUnit().name).c_str());
    while (!m_bStopRequest) {
        if (!m_paused) {
            if (!reference->ReadFromChip() || !measured->ReadFromChip()) return Fail(msc_pszErrInternal);
            m_oscilloscope.AddValue(1, reference->GetValueInInternalUnit());
            m_oscilloscope.AddValue(2, measured->GetValueInInternalUnit());
            m_oscilloscope.UpdateLastPoint();
            CMC_Variable* shown[] = {reference, measured};
            for (int i = 0; i < 2; ++i) {
                const std::string unit(shown[i]->GetUnit().name);
                const std::string text = FormatValue(shown[i]->GetValueInDisplayUnit()) + (unit.empty() ? " IU" : " " + unit);
                SetChildText(m_names.valueLabels[i], text.c_str());
            }
        }
        if (!CheckDriveErrors(kProfileMask, 1) || !CheckTestFlag(true)) return;
        PumpMessages();
        if (!m_bTestRunning || IsEnding()) return;
        ui.RunFor(kOnlinePassMs);
    }
    if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
    m_bStopRequest = false;
    m_bContinuousRun = false;
    TestSucceeded(1);
    DoDataExchange(false);
}

// ---- scope frames ----

int CProfileTuningTest::OnUnsolicitedMessage(const std::uint16_t* words, int count)
{
    if (g_pTuningDlg == nullptr || words == nullptr || count < rurorade::kMessageHeaderWords ||
        words[2] != rurorade::kScopeFrameKind)
        return rurorade::kScopeFrameKind;
    return g_pTuningDlg->HandleFrame(words, count);
}

int CProfileTuningTest::HandleFrame(const std::uint16_t* words, int count)
{
    // The length word must describe a payload inside the message.
    const int payloadWords = words[0];
    if (!m_scopeLogger || payloadWords > count - rurorade::kMessageHeaderWords) return rurorade::kScopeFrameKind;
    const int taken = m_scopeLogger->OnFrameReceive(words + rurorade::kMessageHeaderWords, 2 * payloadWords);
    if (taken < 1) return taken;
    m_framesReceived = true;
    int first = 0, points = 0;
    m_scopeLogger->GetPointsToBeDrawn(first, points);
    const int total = m_scopeLogger->GetPointsNo();
    for (int i = 0; i < points && total > 0; ++i) {
        const int index = (first + i) % total;
        m_onlineGraph.UpdatePoint(index);
        if (index == 0) m_onlineGraph.Invalidate();
    }
    return 0;
}

// ---- closing ----

void CProfileTuningTest::OnOK()
{
    CMyTestDlg::OnOK();
    if (m_scopeLogger) {
        if (m_layoutChanged)
            m_scopeLogger->SaveSettingsToSetupOption(m_names.oscSettings);
        else
            m_setup->ClearOption(m_names.oscSettings);
    }
    m_setup->SetParameterValueInBaseUnit("Imax_Prot", Base("TestProtectionCurrent"));
    m_setup->SetParameterValueInBaseUnit("IlimPS", Base("TestLimitCurrent"));
    m_setup->SetParameterValueInBaseUnit("StartCurrent", Base("TestStartCurrent"));
}
