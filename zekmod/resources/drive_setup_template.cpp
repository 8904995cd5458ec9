// Template 106, "Drive Setup": controls with their kinds, texts and groups.
#include "resources/drive_setup_ids.h"
#include "resources/templates.h"

namespace {

using rurorade::ControlKind;
using namespace drive_setup;

constexpr ControlKind S = ControlKind::Static, G = ControlKind::Group, E = ControlKind::Edit, B = ControlKind::Button,
                      C = ControlKind::Check, R = ControlKind::Radio, L = ControlKind::Combo;

}  // namespace

rurorade::DialogTemplate DriveSetupTemplate()
{
    const char* ops = "Drive operation parameters";
    const char* cur = "Current controller";
    const char* spd = "Speed controller";
    const char* pos = "Position controller";
    const char* prot = "Protections";
    const char* brake = "External brake resistor";
    const char* inp = "Inputs polarity";
    const char* swls = "Software limit switches";
    const char* start = "Start mode";
    return {kTemplateId,
            "Drive Setup",
            {
                {kGroupDriveOperation, G, ops, ""},
                {kLabelPowerSupply, S, "Power supply", ops}, {kVdc, E, "", ops}, {kVdcUnit, L, "", ops},
                {kDetect, B, "Detect", ops},
                {kLabelCurrentLimit, S, "Current limit", ops}, {kIlimPS, E, "", ops}, {kIlimPSUnit, L, "", ops},

                {kGroupCurrent, G, cur, ""},
                {kLabelKpC, S, "Kp", cur}, {kKpC, E, "", cur}, {kLabelKiC, S, "Ki", cur}, {kKiC, E, "", cur},
                {kTuneCurrent, B, "Tune && Test", cur},

                {kGroupSpeed, G, spd, ""},
                {kTuneSpeed, B, "Tune && Test", spd},
                {kLabelKpS, S, "Kp", spd}, {kKpS, E, "", spd}, {kLabelKiS, S, "Ki", spd}, {kKiS, E, "", spd},
                {kLabelIntLimitS, S, "Integral limit", spd}, {kIPSatS, E, "", spd}, {kIPSatSUnit, L, "", spd},
                {kLabelFeedforwardS, S, "Feedforward", spd}, {kLabelAccS, S, "(Acceleration)", spd}, {kKffaS, E, "", spd},
                {kLabelSpeedS, S, "(Speed)", spd}, {kKffsS, E, "", spd},

                {kGroupPosition, G, pos, ""},
                {kTunePosition, B, "Tune && Test", pos},
                {kLabelKpP, S, "Kp", pos}, {kKpP, E, "", pos}, {kLabelKiP, S, "Ki", pos}, {kKiP, E, "", pos},
                {kLabelKdP, S, "Kd", pos}, {kKdP, E, "", pos}, {kLabelKdFilter, S, "Kd filter", pos}, {kFilterD, E, "", pos},
                {kLabelIntLimitP, S, "Integral limit", pos}, {kIPSatP, E, "", pos}, {kIPSatPUnit, L, "", pos},
                {kLabelFeedforwardP, S, "Feedforward", pos}, {kLabelSpeedP, S, "(Speed)", pos}, {kKffsP, E, "", pos},
                {kLabelAccP, S, "(Acceleration)", pos}, {kKffaP, E, "", pos},
                {kLabelLoadSpeedLimit, S, "Load speed limit", pos}, {kLimitSpeed, E, "", pos}, {kLimitSpeedUnit, L, "", pos},

                {kGroupControlMode, G, "Control mode", ""},
                {kModePosition, R, "Position", "Control mode"}, {kModeSpeed, R, "Speed", "Control mode"},
                {kModeTorque, R, "Torque", "Control mode"},

                {kGroupExternalReference, G, "External reference", ""},
                {kExtRefNo, R, "No", "External reference"}, {kExtRefYes, R, "Yes", "External reference"},
                {kExtRefSetup, B, "Setup", "External reference"},
                {kAutoActivated, C, "Automatically activated after Power On", "External reference"},
                {kAnalogueRadio, R, "", "External reference"}, {kDigitalRadio, R, "", "External reference"},
                {kLabelAnalogue, S, "Analogue", "External reference"}, {kLabelDigital, S, "Pulse && Direction", "External reference"},

                {kGroupCommutation, G, "Commutation method", ""},
                {kTrapezoidal, R, "Trapezoidal", "Commutation method"}, {kSinusoidal, R, "Sinusoidal", "Commutation method"},

                {kGroupProtections, G, prot, ""},
                {kOverCurrent, C, "Over current", prot},
                {kLabelMotorCurrent, S, "Motor current >", prot}, {kImaxProt, E, "", prot}, {kImaxProtUnit, L, "", prot},
                {kLabelForMoreThanI, S, "for more than", prot}, {kTimeImaxProt, E, "", prot}, {kTimeImaxProtUnit, L, "", prot},
                {kPositionControlError, C, "Control error", prot},
                {kLabelPositionError, S, "Position error >", prot}, {kErrPosition, E, "", prot}, {kErrPositionUnit, L, "", prot},
                {kLabelForMoreThanP, S, "for more than", prot}, {kTimeErrPos, E, "", prot}, {kTimeErrPosUnit, L, "", prot},
                {kSpeedControlError, C, "Control error", prot},
                {kLabelSpeedError, S, "Speed error >", prot}, {kErrSpeed, E, "", prot}, {kErrSpeedUnit, L, "", prot},
                {kLabelForMoreThanS, S, "for more than", prot}, {kTimeErrSpd, E, "", prot}, {kTimeErrSpdUnit, L, "", prot},
                {kMotorOverTemp, C, "Motor over temperature", prot},
                {kI2t, C, "I2t", prot},
                {kLabelI2tCurrent, S, "Over current", prot}, {kI2tCurrent, E, "", prot}, {kI2tCurrentUnit, L, "", prot},
                {kLabelI2tFor, S, "for", prot}, {kI2tTime, E, "", prot}, {kI2tTimeUnit, L, "", prot},

                {kGroupBrakeResistor, G, brake, ""},
                {kBrakeResistor, C, "Connected", brake},
                {kLabelVbrake, S, "Activate if power supply >", brake}, {kVbrake, E, "", brake}, {kVbrakeUnit, L, "", brake},

                {kGroupInputsPolarity, G, inp, ""},
                {kHeaderHigh, S, "Active high (Open/No connection)", inp}, {kHeaderLow, S, "Active low (Connected to GND)", inp},
                {kLabelEnable, S, "Enable", inp}, {kEnableHigh, R, "", inp}, {kEnableLow, R, "", inp},
                {kLabelLsp, S, "Limit switch+", inp}, {kLspHigh, R, "", inp}, {kLspLow, R, "", inp},
                {kLabelLsn, S, "Limit switch-", inp}, {kLsnHigh, R, "", inp}, {kLsnLow, R, "", inp},
                {kLabelType, S, "Type", inp}, {kSourceType, R, "Source(NPN)", inp}, {kSinkType, R, "Sink (PNP)", inp},

                {kGroupSwls, G, swls, ""},
                {kSwls, C, "Restrict movement between:", swls},
                {kLabelNegativeSwls, S, "Negative Limit", swls}, {kNegativeSwls, E, "", swls}, {kNegativeSwlsUnit, L, "", swls},
                {kLabelPositiveSwls, S, "Positive Limit", swls}, {kPositiveSwls, E, "", swls}, {kPositiveSwlsUnit, L, "", swls},

                {kGroupStartMode, G, start, ""},
                {kStartAlign, R, "Move till aligned with phase A", start},
                {kStartBldcHalls, R, "BLDC with Hall sensors", start},
                {kStartMotionless, R, "Motionless start (encoder only)", start},
                {kStartPmsmHalls, R, "PMSM with Hall sensors", start},
                {kStartAbsolute, R, "Direct using absolute encoder", start},
                {kLabelStartCurrent, S, "Current used (% of nominal current)", start}, {kStartCurrent, E, "", start},
                {kStartCurrentUnit, L, "", start},
                {kLabelTimeAB, S, "Time to align on phases", start}, {kTimeAB, E, "", start}, {kTimeABUnit, L, "", start},
                {kTuneStart, B, "Tune && Test", start},

                {kGroupCan, G, "CANbus", ""},
                {kSaveBaudRate, C, "", "CANbus"}, {kLabelBaudRate, S, "Baud rate", "CANbus"},
                {rurorade::kCanBaudRateId, L, "", "CANbus"}, {rurorade::kCanOpenSettingsId, B, "CANopen settings...", "CANbus"},
                {kSaveAxisId, C, "", "CANbus"},
                {kGroupAxisId, G, "Axis ID selection", ""},
                {kLabelAxisId, S, "Set / change axis ID", "Axis ID selection"}, {kAxisIdList, L, "", "Axis ID selection"},

                {kMotorSetup, B, "Motor setup", ""}, {kAdvanced, B, "Advanced", ""}, {kDriveInfo, B, "Drive Info", ""},
                {kHelp, B, "Help", ""}, {rurorade::IDOK, B, "OK", ""}, {rurorade::IDCANCEL, B, "Cancel", ""},
            }};
}
