#include "engine/parameter_access.h"

#include <algorithm>

#include "rurorade/host_errors.h"

QuietLookups::QuietLookups() : m_saved(g_bShowErrors) { g_bShowErrors = 0; }
QuietLookups::~QuietLookups() { g_bShowErrors = m_saved; }

CMC_Parameter* QuietFindParameter(CMC_Setup* setup, const char* name)
{
    QuietLookups quiet;
    return setup->FindParameter(name);
}

CMC_Variable* QuietFindVariable(CMC_Setup* setup, const char* name)
{
    QuietLookups quiet;
    return setup->FindVariable(name, 1);
}

namespace {

int Has(CMC_Setup* setup, const char* name) { return QuietFindParameter(setup, name) != nullptr ? 1 : 0; }

// Both names are always looked up, inside one quiet bracket.
int HasBoth(CMC_Setup* setup, const char* first, const char* second)
{
    QuietLookups quiet;
    const bool a = setup->FindParameter(first) != nullptr;
    const bool b = setup->FindParameter(second) != nullptr;
    return a && b ? 1 : 0;
}

int OptionIsOne(CMC_Setup* setup, const char* option) { return setup->GetIntOption(option) == 1 ? 1 : 0; }

double ValueOr(CMC_Setup* setup, const char* name, double fallback)
{
    CMC_Parameter* p = QuietFindParameter(setup, name);
    return p ? p->GetValueInBaseUnit() : fallback;
}

}  // namespace

int HasAnalogueReferenceInput(CMC_Setup* setup)
{
    QuietLookups quiet;
    if (setup->FindVariable("CADIN", 1) == nullptr) return 0;
    return setup->FindParameter("CADIN") != nullptr ? 1 : 0;
}

int HasAngleController(CMC_Setup* setup) { return Has(setup, "KPTHT"); }
int HasAcquisitionCount(CMC_Setup* setup) { return Has(setup, "AquisitionsNo"); }
int HasSamplingRate(CMC_Setup* setup) { return Has(setup, "SamplingRate"); }
int HasSoftwareLimitSwitches(CMC_Setup* setup) { return Has(setup, "isSWLS"); }
int HasSpeedEstimator(CMC_Setup* setup) { return Has(setup, "isSpeedEstimator"); }
int HasCanSettings(CMC_Setup* setup) { return HasBoth(setup, "save_CAN_baudrate", "save_axis_id"); }
int HasMotorBrake(CMC_Setup* setup) { return HasBoth(setup, "BRAKECFG", "isMotorBrake"); }
int HasI2tWarningLimits(CMC_Setup* setup) { return HasBoth(setup, "II2TWARLIM_D", "I2TWARLIM_M"); }
int HasFreezeControl(CMC_Setup* setup) { return HasBoth(setup, "POSOKLIM_FC", "TONPOSOK_FC"); }
int HasInputsPolarityType(CMC_Setup* setup) { return Has(setup, "InputsPolarityType"); }
int HasTransmissionRegister(CMC_Setup* setup) { return Has(setup, "TRANSMISSION"); }
int HasBiquadFilters(CMC_Setup* setup) { return Has(setup, "IQREF_BQ_INI"); }
int HasSpeedTestReferenceType(CMC_Setup* setup) { return Has(setup, "SpeedTestReferenceType"); }
int HasStartMinMove(CMC_Setup* setup) { return Has(setup, "ABSTART_MINMOVE"); }
int HasSpeedForward(CMC_Setup* setup) { return Has(setup, "SpeedForward"); }
int HasReverseCounting(CMC_Setup* setup) { return Has(setup, "ReverseCounting"); }
int HasEncoderFilter(CMC_Setup* setup) { return HasBoth(setup, "isFilterEnc", "FilterEncValue"); }

int HasNegativeTransmission(CMC_Setup* setup) { return OptionIsOne(setup, "hasNegTransmission"); }
int HideEnablePolarity(CMC_Setup* setup) { return OptionIsOne(setup, "hideEnablePolarity"); }
int IsPmsmStartWithHalls(CMC_Setup* setup) { return OptionIsOne(setup, "PMSMStartwithHalls"); }
int HasNewDeadBand(CMC_Setup* setup) { return OptionIsOne(setup, "NewDeadBand"); }
int IsIntelligentMotor(CMC_Setup* setup) { return OptionIsOne(setup, "isIntelligentMotor"); }

int InputsTypeProgrammable(CMC_Setup* setup)
{
    if (setup->GetOptionNoError("IsInputsTypeProgrammable").empty()) return -1;
    return setup->GetIntOption("IsInputsTypeProgrammable");
}

double StartMinMovePercent(CMC_Setup* setup) { return ValueOr(setup, "ABSTART_MINMOVE_PERCENT", 60.0); }
double MinCurrentLoopPeriod(CMC_Setup* setup) { return ValueOr(setup, "Ts_C_min", 0.0); }
double MinSpeedLoopPeriod(CMC_Setup* setup) { return ValueOr(setup, "Ts_S_min", 0.0); }

int SetParameterLimits(CMC_Parameter* p, double min, double max)
{
    if (min > max) return 0;
    if (p->GetMinInBaseUnit() > p->GetMaxInBaseUnit()) p->SetMaxInBaseUnit(p->GetMinInBaseUnit());
    if (min > p->GetMaxInBaseUnit()) {
        p->SetMaxInBaseUnit(max);
        p->SetMinInBaseUnit(min);
    } else {
        p->SetMinInBaseUnit(min);
        p->SetMaxInBaseUnit(max);
    }
    return 1;
}

double DeadTime(CMC_Setup* setup)
{
    CMC_Parameter* dbt;
    CMC_Parameter* dbtpc;
    {
        QuietLookups quiet;
        dbt = setup->FindParameter("DBT");
        dbtpc = setup->FindParameter("DBTPC");
    }
    if (dbt == nullptr) return 0.0;
    const std::int32_t d = TruncToInt32(dbt->GetValueInBaseUnit());
    if (d == 0) return 1e-6;
    const double clock = setup->GetParameterValueInBaseUnit("DSP_freq");  // Hz
    const double k = dbtpc ? dbtpc->GetValueInBaseUnit() / 100.0 : 0.5;
    const int larger = std::max(d & 0xFF, (d >> 8) & 0xFF);
    return larger * k / clock;
}

int ForceSpeedFeedforward(CMC_Setup* setup)
{
    CMC_Parameter* speedForward = setup->FindParameter("SpeedForward");
    if (!speedForward) return 0;
    CMC_Parameter* controlMode = setup->FindParameter("ControlMode");
    if (!controlMode) return 0;
    CMC_Parameter* positionControlType = setup->FindParameter("PositionControlType");
    if (!positionControlType) return 0;
    CMC_Parameter* acr = setup->FindParameter("ACR");
    if (!acr) return 0;
    // Position control through the speed loop keeps the user's choice.
    if (controlMode->GetValueInBaseUnit() == 0.0 && positionControlType->GetValueInBaseUnit() == 1.0) return 1;
    speedForward->SetValueInInternalUnit(1.0);
    acr->SetValueInBaseUnit(static_cast<double>(TruncToInt32(acr->GetValueInBaseUnit()) | 0x4000));
    return 1;
}
