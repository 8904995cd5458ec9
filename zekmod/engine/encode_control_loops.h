#pragma once
// Encoding steps of the controllers and reference paths: each writes the register it is named
// after and returns 1, or returns 0 and writes nothing when a parameter it needs is missing.
#include "rurorade/setup.h"

namespace encode {

// Gain split: shift S = ceil(log2 g) for g > 1 (else 0), mantissa K = g * 32767 / 2^S (not truncated).
struct GainSplit {
    double shift;
    double mantissa;
};
GainSplit SplitGain(double gain);

// PWM-based saturations of the current loop.
int SATPWM(CMC_Setup* setup);
int SATID(CMC_Setup* setup);
int SATIQ(CMC_Setup* setup);

// Current loop gains, output filter, gravitational offset and fixed feedforward.
int SFTKPI(CMC_Setup* setup);
int KPI(CMC_Setup* setup);
int SFTKII(CMC_Setup* setup);
int KII(CMC_Setup* setup);
int FILTERQ(CMC_Setup* setup);
int FFL(CMC_Setup* setup);
int KFFL(CMC_Setup* setup);

// Speed loop gains and saturations.
int SFTKPS(CMC_Setup* setup);
int KPS(CMC_Setup* setup);
int SFTKIS(CMC_Setup* setup);
int KIS(CMC_Setup* setup);
int IMAXS(CMC_Setup* setup);
int SATS(CMC_Setup* setup);

// Position loop gains, derivative filter and saturations.
int SFTKPP(CMC_Setup* setup);
int KPP(CMC_Setup* setup);
int SFTKIP(CMC_Setup* setup);
int KIP(CMC_Setup* setup);
int SFTKDP(CMC_Setup* setup);
int KDP(CMC_Setup* setup);
int KDFP(CMC_Setup* setup);
int IMAXP(CMC_Setup* setup);
int SATP(CMC_Setup* setup);

// Electric angle loop gains (only on drives with KPTHT).
int SFTKPTHT(CMC_Setup* setup);
int KPTHT(CMC_Setup* setup);
int SFTKITHT(CMC_Setup* setup);
int KITHT(CMC_Setup* setup);

// Speed and acceleration feedforward.
int SFTSFFW(CMC_Setup* setup);
int KFFS(CMC_Setup* setup);
int SFTAFFW(CMC_Setup* setup);
int SFTKFF(CMC_Setup* setup);
int KFFA(CMC_Setup* setup);

// Following-error windows and times.
int ERRMAX(CMC_Setup* setup);
int TERRMAX(CMC_Setup* setup);
int SERRMAX(CMC_Setup* setup);
int TSERRMAX(CMC_Setup* setup);

// Software limit switches (only on drives with isSWLS).
int SWNEGLS(CMC_Setup* setup);
int SWPOSLS(CMC_Setup* setup);

// Reference generator limits.
int CACC(CMC_Setup* setup);
int CSPD(CMC_Setup* setup);

// External analogue reference (only on drives with the CADIN variable and parameter).
int CADIN(CMC_Setup* setup);
int SFTADIN(CMC_Setup* setup);
int AD5OFF(CMC_Setup* setup);
int FILTER1(CMC_Setup* setup);
int LEVEL_AD5(CMC_Setup* setup);
int E_LEVEL_AD5(CMC_Setup* setup);

// Gearing, pulse timing and start-up voltages.
int GEAR(CMC_Setup* setup);
int T1ONA(CMC_Setup* setup);
int T1ONB(CMC_Setup* setup);
int REFTST(CMC_Setup* setup);
int RINCTST(CMC_Setup* setup);

// Freeze control (only on drives with POSOKLIM_FC and TONPOSOK_FC).
int POSOKLIM_FC(CMC_Setup* setup);
int TONPOSOK_FC(CMC_Setup* setup);

// Speed-loop biquad coefficient registers.
int BiquadFilters(CMC_Setup* setup);

}  // namespace encode
