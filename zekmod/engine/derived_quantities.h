#pragma once
// Quantities that follow from other parameters: the ranges of the engineering parameters,
// the control-structure options, and the rotary or linear unit families of load-side quantities.
#include "rurorade/setup.h"

// Recomputes every derived range, in a fixed order. Values are never changed.
void ComputeParameterLimits(CMC_Setup* setup);

// Writes the feedback options and the closed-loop options of the control mode;
// 0 when ControlMode / PositionControlType is not one the drive knows (closed-loop options kept).
int SetControlStructureOptions(CMC_Setup* setup);

// Switches load-side parameters and drive variables to rotary or linear units. Returns 1.
int ApplyTransmissionUnits(CMC_Setup* setup);

// The single range rules run by ComputeParameterLimits, in its order. Each looks its parameters
// up with the ordinary lookup and does nothing when one is missing. Ranges are written min first,
// unclamped, straight into the parameter (a min above the max is kept as computed).
namespace limits {
void ERR_speed(CMC_Setup* setup);
void ERR_position(CMC_Setup* setup);
void time_ERR_spd(CMC_Setup* setup);
void time_ERR_pos(CMC_Setup* setup);
void PB_C(CMC_Setup* setup);
void PB_S(CMC_Setup* setup);
void PB_P(CMC_Setup* setup);
void TPP(CMC_Setup* setup);
void TNP(CMC_Setup* setup);
void TaPP(CMC_Setup* setup);
void TaNP(CMC_Setup* setup);
void TPS(CMC_Setup* setup);
void TNS(CMC_Setup* setup);
void TaPS(CMC_Setup* setup);
void TaNS(CMC_Setup* setup);
void TestPosition(CMC_Setup* setup);
void TestSpeed(CMC_Setup* setup);
// Only on drives with the electric angle controller (KPTHT).
void MAX_CURRENT(CMC_Setup* setup);
// External analogue reference; ComputeParameterLimits runs these only when the drive has CADIN.
void filter(CMC_Setup* setup);
void DeadBand_Point(CMC_Setup* setup);
void DeadBand_Range(CMC_Setup* setup);
void POS_max(CMC_Setup* setup);
void POS_min(CMC_Setup* setup);
void SPD_max(CMC_Setup* setup);
void SPD_min(CMC_Setup* setup);
void CRT_max(CMC_Setup* setup);
void CRT_min(CMC_Setup* setup);
// Biquad frequencies BQFilterF1n / BQFilterF2n; only on drives with IQREF_BQ_INI.
void BQFilterFrequencies(CMC_Setup* setup);
}  // namespace limits
