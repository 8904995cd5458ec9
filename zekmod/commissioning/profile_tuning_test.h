#pragma once
// What the speed and position tuning tests share: a six-segment reference profile played once
// or over and over by the drive, the preliminary rotor alignment, the data logger or the on-line
// plot (through the drive's scope channel when it has one, else by reading two variables), the
// scope layout kept in a setup option, the inertia question and "Identify", and the copies of the
// test limits into the setup on OK.
#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "commissioning/reference_profile.h"
#include "commissioning/tuning_test_dlg.h"
#include "rurorade/drive_comm.h"
#include "rurorade/oscilloscope.h"
#include "rurorade/scope_logger.h"

class CProfileTuningTest : public CTuningTestDlg {
public:
    // Controls both tests have (the test value's edit differs).
    static constexpr int kOnlineGraphId = 1362;
    static constexpr int kPauseId = 10016, kContinueId = 10017;
    static constexpr int kProfilePictureId = 1322;
    static constexpr int kCurrentPictureId = 1323;
    static constexpr int kFiltersId = 3510;
    static constexpr int kReferenceMarker = 3331, kMeasuredMarker = 3332;
    static constexpr int kLimitEdit = 1324, kLimitUnit = 1325, kStartEdit = 1326, kStartUnit = 1327,
                         kStartLabel = 1328, kProtectionEdit = 1329, kProtectionUnit = 1330;
    static constexpr int kTaEdit = 1331, kTaUnit = 1332, kTEdit = 1333, kTUnit = 1334, kTanEdit = 1335,
                         kTanUnit = 1336, kTnEdit = 1337, kTnUnit = 1338;
    static constexpr int kPositiveRadio = 1340, kNegativeRadio = 1341, kBidirectionalRadio = 1342;
    static constexpr int kMultiCycleCheck = 1343;
    static constexpr int kDataLoggerRadio = 1344, kOnlinePlotRadio = 1345;
    static constexpr int kJtEdit = 1346, kJtUnit = 1347;
    static constexpr int kKpSlider = 1348, kKpEdit = 1349, kKpSpinLow = 1350, kKpSpinHigh = 1351;
    static constexpr int kKiSlider = 1352, kKiEdit = 1353, kKiSpinLow = 1354, kKiSpinHigh = 1355;
    static constexpr int kSatSlider = 1356, kSatEdit = 1357, kSatUnit = 1358, kSatSpinLow = 1359, kSatSpinHigh = 1360;
    static constexpr int kFfsSlider = 1380, kFfsEdit = 1381, kFfsSpinLow = 1382, kFfsSpinHigh = 1383;
    static constexpr int kFfaSlider = 1384, kFfaEdit = 1385, kFfaSpinLow = 1386, kFfaSpinHigh = 1387;
    static constexpr int kFeedforwardGroup = 1388;
    static constexpr int kPassbandSlider = 1391, kPassbandEdit = 1392, kPassbandUnit = 1393, kPassbandSpinLow = 1394,
                         kPassbandSpinHigh = 1395;
    static constexpr int kRatioSlider = 1396, kRatioEdit = 1397, kRatioSpinLow = 1398, kRatioSpinHigh = 1399;
    static constexpr int kReferenceTypeGroup = 1339;
    // Context commands of the on-line graph.
    static constexpr int kScopeEdit = 10062, kScopeDefaults = 10063, kScopeAutoscale = 10064, kScopeLoad = 10065,
                         kScopeSave = 10066, kSavePlotsCommand = 10067, kPictureCommand = 10068, kAsciiCommand = 10069;
    // A graph window asks for a channel's scale step: (control id, channel | step << 16).
    static constexpr int kChangeScaleMessage = 0x467;

    static const char* const kProtectionTripped;
    static const char* const kCyclicRunText;

    // What differs between the speed and the position test.
    struct Names {
        const char* testValue;     // "TestSpeed" / "TestPosition"
        int testValueEdit, testValueUnit;
        const char* ta;
        const char* t;
        const char* tan;
        const char* tn;
        const char* referenceType;  // bound only when the setup has SpeedTestReferenceType
        const char* multiCycle;
        const char* onlinePlot;
        const char* kp;
        const char* ki;
        const char* saturation;    // "IPSatS" / "IPSatP"
        const char* passband;
        const char* oscSettings;   // setup option of the scope layout
        const char* fileBase;      // "SpeedTuning" / "PositionTuning"
        const char* onlineVariables[2];
        int valueLabels[2];
        int identifyId;
        int helpTopic;
        ProfileKind kind;
        double (*scale)(CMC_Setup*);  // internal units of the test value per base unit
        const char* procedure;
        // Controls of each page besides the shared ones.
        std::vector<int> parameterPage;
        std::vector<int> testPage;
    };

    ~CProfileTuningTest() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    // A graph window's scale request (message 0x467).
    void OnChangeChannelScale(int controlId, int packed);

    // The "Tune" rule; false when a parameter it needs is missing (nothing changes then).
    virtual bool Tune() = 0;
    CMC_SingleAxisLogger* DataLogger() const { return m_dataLogger.get(); }
    CMC_ScopeLogger* ScopeLogger() const { return m_scopeLogger.get(); }
    CMC_Oscilloscope& Oscilloscope() { return m_oscilloscope; }
    // The profile the last launch wrote (counts, 16.16 slopes).
    const std::array<ProfileSegment, 6>& Profile() const { return m_profile; }

    // The unsolicited-message handler while a speed or position tuning test is open.
    static int OnUnsolicitedMessage(const std::uint16_t* words, int count);

protected:
    CProfileTuningTest(CMC_Setup* setup, int templateId, int flag, void* parent, const Names& names);

    double ProfileScale() const { return m_names.scale(m_setup); }
    virtual const char* ProgramName() const = 0;
    // Bitmap of the current-limit picture, by commutation method.
    virtual const char* CurrentLimitPicture(bool commutation) const { return commutation ? "308" : "311"; }
    // Test inputs of the launch around the profile; false once the test has failed.
    virtual bool WriteInputsBeforeProfile() = 0;
    virtual bool WriteInputsAfterProfile() { return true; }
    // Scales of the scope's channels (default layout and after a change of `name`; null: all).
    virtual void RescaleScopeChannels(const char* name) = 0;
    // Logged variables in channel order (4).
    virtual std::array<const char*, 4> LoggedVariables() const = 0;
    // Test-specific rules of the page-1 check and the enabling.
    virtual const char* LimitAboveProtectionText() const = 0;
    virtual void ApplyTestRules() {}
    // Registers recomputed after a change of a gain parameter, and written live in that order.
    virtual void OnGainChanged(const char* name) = 0;
    virtual void WriteGainLive(const char* name) = 0;

    bool CanShowTestPage() override;
    void OnTabPageChanged(int page) override;

    // "test_flag" of the main program: 1 good; otherwise the error text is set and, when `fail`, the test fails.
    int CheckTestFlag(bool fail);
    // Writes a user variable of the main program; false once the test has failed.
    bool WriteInput(const char* name, double value);
    void ComputeScopeTrigger();
    void BuildDefaultScopeLayout();
    // Scales the scope channels `variables` by the 1-2-5 rule for a span x (display unit of
    // `unitParameter`), with the centre line `offsetInScales` scales off zero.
    void RescaleChannels(std::initializer_list<const char*> variables, const char* unitParameter, double x,
                         double offsetInScales);
    void QuantiseTestValue();
    void ShowProfilePicture();
    bool OnlinePlot() const;
    bool MultiCycle() const;
    int ReferenceType() const;

    const Names m_names;
    CMC_CoffFormat m_positioning;
    CMC_CoffFormat m_main;
    std::unique_ptr<CMC_SingleAxisLogger> m_dataLogger;
    std::unique_ptr<CMC_ScopeLogger> m_scopeLogger;
    CMC_Oscilloscope m_oscilloscope;
    CGraphWindow m_onlineGraph{4, 0};
    std::array<ProfileSegment, 6> m_profile{};

private:
    void EndPositioningRun();
    void Launch();
    void MainProgramTick();
    void ScopeLoop();
    void OscilloscopeLoop();
    void UploadTick();
    int HandleFrame(const std::uint16_t* words, int count);
    void OnStartStop();
    void Identify();
    void OpenFilters();
    void WriteFilterRegisters();
    bool WriteProfile();
    void AskInertiaQuestion();
    void ScopeCommand(int id);

    bool m_preliminaryRun = false;
    double m_reference = 0, m_increment = 0;  // "REFTST_V", "RINCTST_V" of the alignment
    bool m_paused = false;
    bool m_framesReceived = false;
    bool m_layoutChanged = false;
    CMC_Comm::UnsolicitedMsgHandler m_previousHandler = nullptr;
};
