#pragma once
// Register encoding of the drive configuration: PWM time base, position feedback, protections,
// configuration words, brake and communication words; the whole-setup encoding sequence and
// the lookup of a single encoding step by its register name.
#include "rurorade/setup.h"

// Each step writes the register(s) it is named after from the engineering parameters:
// 1 when written, 0 when a parameter it needs is missing (nothing written).
namespace encode {

// PWM time base and position feedback.
int PWMPER(CMC_Setup* setup);
int MECRESL(CMC_Setup* setup);
int ENC2THL(CMC_Setup* setup);
int ELRESL(CMC_Setup* setup);
int ABSTART_MINMOVE(CMC_Setup* setup);
int COUNTINGDIR(CMC_Setup* setup);
int TRANSMISSION(CMC_Setup* setup);
int MTSTYPE(CMC_Setup* setup);
int AAR_table(CMC_Setup* setup);

// Protections (drive _D and motor _M).
int T2MAXPROT(CMC_Setup* setup);
int UMAXPROT(CMC_Setup* setup);
int UMINPROT(CMC_Setup* setup);
int II2TPROT_D(CMC_Setup* setup);
int SFI2T_D(CMC_Setup* setup);
int I2TINTLIM_D(CMC_Setup* setup);
int II2TWARLIM_D(CMC_Setup* setup);
int IMAXPROT(CMC_Setup* setup);
int TIMAXPROT(CMC_Setup* setup);
int T1MAXPROT(CMC_Setup* setup);  // only when the setup has the register
int II2TPROT_M(CMC_Setup* setup);
int SFI2T_M(CMC_Setup* setup);
int I2TINTLIM_M(CMC_Setup* setup);
int I2TWARLIM_M(CMC_Setup* setup);
int BRAKELIM(CMC_Setup* setup);

// Configuration words.
int SCR(CMC_Setup* setup);
int OSR(CMC_Setup* setup);
int ASR(CMC_Setup* setup);
int PCR(CMC_Setup* setup);
int ACR(CMC_Setup* setup);
int UPGRADE(CMC_Setup* setup);
int DIGIN_ACTIVE_LEVEL(CMC_Setup* setup);
int LSS_Active(CMC_Setup* setup);
// Encoder input filter: QUAL, QUAL_ACT and QUAL_AQ2 together.
int QUAL(CMC_Setup* setup);

// Brake.
int BRAKECFG(CMC_Setup* setup);
int BRAKEAPPLYDELAY(CMC_Setup* setup);
int BRAKERELEASEDELAY(CMC_Setup* setup);

}  // namespace encode

// Computes every register parameter from the engineering parameters, in the drive's fixed
// order; a step that fails leaves its registers as they were and the rest still run.
void EncodeRegisters(CMC_Setup* setup);

// Any encoding step (configuration, control loops and references) by its exact register name;
// null for an unknown name.
using EncodeStep = int (*)(CMC_Setup*);
EncodeStep FindEncodeStep(const char* name);
