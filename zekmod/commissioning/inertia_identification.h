#pragma once
// Total inertia identification (template 3041): accelerates the motor with a constant test
// current up to a speed limit and stores the total inertia seen at the shaft in `Jt`.
#include <cstdint>

#include "commissioning/my_test_dlg.h"

class CTotalInertiaTest : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 3041;
    static constexpr int kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kProtectionEdit = 3265, kProtectionUnit = 3266;
    static constexpr int kMaxSpeedEdit = 3267, kMaxSpeedUnit = 3268;
    static constexpr int kJtEdit = 3263, kJtUnit = 3264;
    static constexpr int kPurposeText = 1376;
    static constexpr int kTestCurrentLabel = 4000, kTestCurrentNote = 4001;
    static constexpr int kProtectionLabel = 4002, kProtectionNote = 4003;
    static constexpr int kMaxSpeedLabel = 4004, kMaxSpeedNote = 4005;
    static constexpr int kJtLabel = 4006;
    static constexpr int kHelpTopic = 0x40111;
    // Short circuit and ENABLE input while aligning; every fault while accelerating.
    static constexpr std::uint16_t kPositioningMask = 0x8002;
    static constexpr std::uint16_t kIdentificationMask = 0xFFFF;

    static const char* const kNegativeSpeedText;  // with its final full stop
    static const char* const kZeroSpeedText;
    static const char* const kSpeedNotReachedText;

    CTotalInertiaTest(CMC_Setup* setup, void* parent);
    ~CTotalInertiaTest() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnOK() override;
    void OnCancel() override;
    void OnCommand(int id) override;

private:
    void EndPositioningRun();
    void LaunchIdentification();
    void Evaluate();

    CMC_CoffFormat m_positioning;
    CMC_CoffFormat m_identification;
    std::int32_t m_in1 = 0;           // test current, internal unit
    double m_reference = 0.0, m_increment = 0.0;  // "REFTST_V", "RINCTST_V" of the positioning run
    double m_jtAtOpening = 0.0;       // kg m^2
    double m_identified = 0.0;        // kg m^2, as `Jt` took it
};
