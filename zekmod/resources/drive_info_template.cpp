// Template 3018, "Drive info": controls with their kinds, texts and groups.
#include "editor/drive_info_dlg.h"
#include "resources/templates.h"

namespace {

using rurorade::ControlKind;
using namespace drive_info;

constexpr ControlKind S = ControlKind::Static, G = ControlKind::Group, E = ControlKind::Edit, B = ControlKind::Button,
                      C = ControlKind::Check, L = ControlKind::Combo;

}  // namespace

rurorade::DialogTemplate DriveInfoTemplate()
{
    const char* data = "Drive data";
    const char* prot = "Protections";
    return {kTemplateId,
            "Drive info",
            {
                {kLabelFirmwareId, S, "Firmware ID", ""}, {kFirmwareId, E, "", ""},
                {kLabelProductId, S, "Product ID", ""}, {kProductId, E, "", ""},
                {kLabelE2rom, S, "E2ROM size", ""}, {kE2rom, E, "", ""}, {kLabelKwords, S, "Kwords", ""},
                {kLabelDriveName, S, "Intelligent drive name", ""}, {kDriveName, E, "", ""},
                {kLabelAppId, S, "Application ID", ""}, {kAppId, E, "", ""},

                {kGroupDriveData, G, data, ""},
                {kLabelMotorSupply, S, "Power supply (motor)", data},
                {kLabelMotorSupplyMin, S, "min. value", data}, {kVmotMin, E, "", data}, {kVmotMinUnit, L, "", data},
                {kLabelMotorSupplyMax, S, "max. value", data}, {kVmotMax, E, "", data}, {kVmotMaxUnit, L, "", data},
                {kLabelLogicSupply, S, "Logic supply", data},
                {kLabelLogicSupplyMin, S, "min. value", data}, {kVlogMin, E, "", data}, {kVlogMinUnit, L, "", data},
                {kLabelLogicSupplyMax, S, "max. value", data}, {kVlogMax, E, "", data}, {kVlogMaxUnit, L, "", data},
                {kLabelNominalCurrent, S, "Nominal current", data}, {kInPS, E, "", data}, {kInPSUnit, L, "", data},
                {kLabelPeakCurrent, S, "Peak current", data}, {kImaxPS, E, "", data}, {kImaxPSUnit, L, "", data},
                {kLabelVdcMax, S, "Maximum measurable DC voltage", data}, {kVdcMax, E, "", data},
                {kVdcMaxUnit, L, "", data},
                {kTempSensor, C, "Temperature sensor", data},
                {kLabelSensorGain, S, "Sensor gain", data}, {kSensorGain, E, "", data}, {kSensorGainUnit, L, "", data},
                {kLabelSensorOutput, S, "Output at 0\xC2\xB0" "C", data}, {kSensorOutput, E, "", data},
                {kSensorOutputUnit, L, "", data},
                {kLabelInputsRange, S, "Analogue inputs range", data}, {kInputsRange, E, "", data},
                {kInputsRangeUnit, L, "", data},

                {kGroupProtections, G, prot, ""},
                {kOverTemp, C, "Drive temperature", prot},
                {kLabelTemp2, S, "Trigger if T > T2max", prot}, {kTemp2, E, "", prot}, {kTemp2Unit, L, "", prot},
                {kOverVoltage, C, "Over voltage", prot},
                {kLabelUmax, S, "Trigger if power supply >", prot}, {kUmax, E, "", prot}, {kUmaxUnit, L, "", prot},
                {kUnderVoltage, C, "Under voltage", prot},
                {kLabelUmin, S, "Trigger if power supply <", prot}, {kUmin, E, "", prot}, {kUminUnit, L, "", prot},
                {kI2t, C, "I2t", prot},
                {kLabelI2tCurrent, S, "Support over current", prot}, {kI2tCurrent, E, "", prot},
                {kI2tCurrentUnit, L, "", prot},
                {kLabelI2tTime, S, "for", prot}, {kI2tTime, E, "", prot}, {kI2tTimeUnit, L, "", prot},

                {rurorade::IDOK, B, "OK", ""},
                {rurorade::IDCANCEL, B, "Cancel", ""},
            }};
}
