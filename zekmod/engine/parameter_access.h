#pragma once
// Lookups that do not bother the user, presence and option probes that gate optional
// drive features, lookups with a default, the safe limit setter, dead time, and the
// speed feedforward rule.
#include <array>
#include <optional>
#include <string>

#include "rurorade/numeric.h"
#include "rurorade/setup.h"

// Looks a parameter up with the host's error display switched off (and put back as it was).
CMC_Parameter* QuietFindParameter(CMC_Setup* setup, const char* name);
CMC_Variable* QuietFindVariable(CMC_Setup* setup, const char* name);

// RAII bracket that silences the host's lookup errors.
class QuietLookups {
public:
    QuietLookups();
    ~QuietLookups();
    QuietLookups(const QuietLookups&) = delete;
    QuietLookups& operator=(const QuietLookups&) = delete;

private:
    int m_saved;
};

// Ordinary lookups of every name, in order, each missing one reported by the host;
// empty when any is missing.
template <class... Names>
std::optional<std::array<CMC_Parameter*, sizeof...(Names)>> FindAll(CMC_Setup* setup, Names... names)
{
    std::array<CMC_Parameter*, sizeof...(Names)> found{setup->FindParameter(names)...};
    for (CMC_Parameter* p : found)
        if (p == nullptr) return std::nullopt;
    return found;
}

// The same, into `out`; false when any is missing.
template <class... Names>
bool FindAll(CMC_Setup* setup, std::array<CMC_Parameter*, sizeof...(Names)>& out, Names... names)
{
    auto found = FindAll(setup, names...);
    if (found) out = *found;
    return found.has_value();
}

// Presence probes: 1 when every name exists, else 0.
int HasAnalogueReferenceInput(CMC_Setup* setup);
int HasAngleController(CMC_Setup* setup);
int HasAcquisitionCount(CMC_Setup* setup);
int HasSamplingRate(CMC_Setup* setup);
int HasSoftwareLimitSwitches(CMC_Setup* setup);
int HasSpeedEstimator(CMC_Setup* setup);
int HasCanSettings(CMC_Setup* setup);
int HasMotorBrake(CMC_Setup* setup);
int HasI2tWarningLimits(CMC_Setup* setup);
int HasFreezeControl(CMC_Setup* setup);
int HasInputsPolarityType(CMC_Setup* setup);
int HasTransmissionRegister(CMC_Setup* setup);
int HasBiquadFilters(CMC_Setup* setup);
int HasSpeedTestReferenceType(CMC_Setup* setup);
int HasStartMinMove(CMC_Setup* setup);
int HasSpeedForward(CMC_Setup* setup);
int HasReverseCounting(CMC_Setup* setup);
int HasEncoderFilter(CMC_Setup* setup);

// Option probes: 1 when the option reads exactly 1.
int HasNegativeTransmission(CMC_Setup* setup);
int HideEnablePolarity(CMC_Setup* setup);
int IsPmsmStartWithHalls(CMC_Setup* setup);
int HasNewDeadBand(CMC_Setup* setup);
int IsIntelligentMotor(CMC_Setup* setup);
// -1 when the option IsInputsTypeProgrammable is absent or empty, else its integer value.
int InputsTypeProgrammable(CMC_Setup* setup);

// Lookups with a default (base unit).
double StartMinMovePercent(CMC_Setup* setup);
double MinCurrentLoopPeriod(CMC_Setup* setup);
double MinSpeedLoopPeriod(CMC_Setup* setup);

// Sets a range keeping min <= max after every single write; 0 (nothing changed) when min > max.
int SetParameterLimits(CMC_Parameter* parameter, double min, double max);

// PWM dead time in seconds.
double DeadTime(CMC_Setup* setup);

// Forces speed feedforward on unless position control runs through the speed loop.
int ForceSpeedFeedforward(CMC_Setup* setup);
