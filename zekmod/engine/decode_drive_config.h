#pragma once
// Decoding of the drive configuration: the PWM time base, the feedback, the protections and
// the configuration-word flags, rebuilt with their ranges from the register parameters.
// Each step sets the range of the parameter it is named after, then writes its value
// unclamped, and returns 1; it returns 0 and leaves range and value alone when a parameter
// it needs is missing or the range is reversed.
#include "rurorade/setup.h"

namespace decode {

// PWM time base and position feedback.
int pp(CMC_Setup* setup);
int No_encoder_lines(CMC_Setup* setup);
int PWM_freq(CMC_Setup* setup);
int PWMperiod(CMC_Setup* setup);
int Ts_C(CMC_Setup* setup);
int Ts_S(CMC_Setup* setup);
int Motor_TempSensor_Type(CMC_Setup* setup);
int Axis_ID_list(CMC_Setup* setup);
int ReverseCounting(CMC_Setup* setup);
int isFilterEnc(CMC_Setup* setup);

// Protections.
int UMAX_PROT(CMC_Setup* setup);
int UMIN_PROT(CMC_Setup* setup);
int Temp_2(CMC_Setup* setup);
int I_I2t_D(CMC_Setup* setup);
int t_I2t_D(CMC_Setup* setup);
int TestCurrent(CMC_Setup* setup);
int TestProtectionCurrent(CMC_Setup* setup);
int Imax_Prot(CMC_Setup* setup);
int time_Imax_Prot(CMC_Setup* setup);
int I_I2t_M(CMC_Setup* setup);
int t_I2t_M(CMC_Setup* setup);
int Vbrake(CMC_Setup* setup);

// Flags and selectors from the configuration words SCR, OSR, ASR, PCR, ACR, UPGRADE,
// DIGIN_ACTIVE_LEVEL and LSS_Active.
int isMotorTemperatureSensor(CMC_Setup* setup);
int isDriveTemperatureSensor(CMC_Setup* setup);
int CommutationMethod(CMC_Setup* setup);
int isSpeedEstimator(CMC_Setup* setup);
int isBrakeResistor(CMC_Setup* setup);
int StartMode(CMC_Setup* setup);
int isSWLS(CMC_Setup* setup);
int InputsPolarityType(CMC_Setup* setup);
int isOverCurrent(CMC_Setup* setup);
int isMotori2t(CMC_Setup* setup);
int isMotorOverTemp(CMC_Setup* setup);
int isDriveOverTemp(CMC_Setup* setup);
int isOverVoltage(CMC_Setup* setup);
int isUnderVoltage(CMC_Setup* setup);
int isDriveI2t(CMC_Setup* setup);
int isAutoActivatedAfterPowerOn(CMC_Setup* setup);
int ExternalReference(CMC_Setup* setup);
int isAnalogueReference(CMC_Setup* setup);
int DigitalReferenceType(CMC_Setup* setup);
int ControlMode(CMC_Setup* setup);
int SpeedForward(CMC_Setup* setup);
int isFreezeControl(CMC_Setup* setup);
int isLimitMaximum(CMC_Setup* setup);
// Succeeds without change on drives without the parameter.
int PosSpd_in_FastLoop(CMC_Setup* setup);
int EnablePolarity(CMC_Setup* setup);
int LSNPolarity(CMC_Setup* setup);
int LSPPolarity(CMC_Setup* setup);
int save_CAN_baudrate(CMC_Setup* setup);
int save_axis_id(CMC_Setup* setup);

// Motor brake (BRAKECFG, BRAKERELEASEDELAY, BRAKEAPPLYDELAY).
int isMotorBrake(CMC_Setup* setup);
int MotorBrake_output(CMC_Setup* setup);
int MotorBrake_releasetime(CMC_Setup* setup);
int MotorBrake_applytime(CMC_Setup* setup);

}  // namespace decode

// Rebuilds every engineering parameter with its range from the registers; optional drive
// features are decoded only when the setup has them. Failed steps are skipped silently.
void DecodeRegisters(CMC_Setup* setup);

// Every decoding step by the (case-sensitive) name of the parameter it writes; null when unknown.
using DecodeStep = int (*)(CMC_Setup*);
DecodeStep FindDecodeStep(const char* name);
