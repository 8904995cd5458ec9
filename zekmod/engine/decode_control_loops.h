#pragma once
// Decoding of the controller, limit and reference registers into engineering parameters.
// Every step sets its parameter's range first and then writes the value as computed (even
// outside that range); 1 when written, 0 when a parameter is missing or the range is refused.
#include "rurorade/setup.h"

namespace decode {

// Inverse of the mantissa-and-shift gain split: mantissa * 2^shift / 32767.
double GainFromMantissaShift(double mantissa, double shift);

// Scaled loop gains (current, speed, position, electric angle) and the feedforward gains.
int Kp_C_scl(CMC_Setup* setup);
int Ki_C_scl(CMC_Setup* setup);
int Kp_S_scl(CMC_Setup* setup);
int Ki_S_scl(CMC_Setup* setup);
int Kp_P_scl(CMC_Setup* setup);
int Ki_P_scl(CMC_Setup* setup);
int Kd_P_scl(CMC_Setup* setup);
int Kp_T_scl(CMC_Setup* setup);
int Ki_T_scl(CMC_Setup* setup);
int KFFS_scl(CMC_Setup* setup);
int KFFA_scl(CMC_Setup* setup);

// Derivative filter, gravity offset, inertia ratio and the current controller output filter.
int filter_D(CMC_Setup* setup);
int isCompensateGravitationalLoads(CMC_Setup* setup);
int OffsetCurrent(CMC_Setup* setup);
int Jload_over_J(CMC_Setup* setup);
int isUseFilterOnCrtCtrlOutput(CMC_Setup* setup);
int FilterOnCurrentControllerOutput(CMC_Setup* setup);

// Current limits, integral saturations, speed limit and the test limits derived from them.
int IlimPS(CMC_Setup* setup);
int IPSatS(CMC_Setup* setup);
int IPSatP(CMC_Setup* setup);
int TestLimitCurrent(CMC_Setup* setup);
int Limit_Speed(CMC_Setup* setup);
int TestMaxSpeed(CMC_Setup* setup);

// Start currents (percent of In) from the start voltage.
int StartCurrent(CMC_Setup* setup);
int TestStartCurrent(CMC_Setup* setup);

// Following-error windows and freeze control.
int isPositionControlError(CMC_Setup* setup);
int ERR_position(CMC_Setup* setup);
int time_ERR_pos(CMC_Setup* setup);
int isSpeedControlError(CMC_Setup* setup);
int ERR_speed(CMC_Setup* setup);
int time_ERR_spd(CMC_Setup* setup);
int FreezeControl_errband(CMC_Setup* setup);
int FreezeControl_time(CMC_Setup* setup);

// Software limit switches (load side).
int Negative_SWLS(CMC_Setup* setup);
int Positive_SWLS(CMC_Setup* setup);

// Reference generator limits and the phase alignment time.
int ErefMaxSpeed(CMC_Setup* setup);
int ErefMaxAcceleration(CMC_Setup* setup);
int time_AB(CMC_Setup* setup);

// External analogue reference: dead band, input filter, and the reference range of each
// control mode (min/max in internal unit; CRT_min has no range of its own).
int DeadBand_Point(CMC_Setup* setup);
int DeadBand_Range(CMC_Setup* setup);
int UseFilter(CMC_Setup* setup);
int filter(CMC_Setup* setup);
int POS_min(CMC_Setup* setup);
int POS_max(CMC_Setup* setup);
int SPD_min(CMC_Setup* setup);
int SPD_max(CMC_Setup* setup);
int CRT_min(CMC_Setup* setup);
int CRT_max(CMC_Setup* setup);

}  // namespace decode
