#pragma once
// Control ids of the Brushless Motor Setup dialog (template 108). Labels the template names
// without an id use 3900 and up.
namespace motor_setup {

enum : int {
    kNominalCurrent = 1159, kNominalCurrentUnit = 1160, kPeakCurrent = 1161, kPeakCurrentUnit = 1162,
    kMotorTransmission = 1163, kMotorTransmissionUnit = 1164, kPolePairs = 1165, kTorqueConstant = 1166,
    kTorqueConstantUnit = 1167, kResistance = 1168, kResistanceUnit = 1169, kInductance = 1170, kInductanceUnit = 1171,
    kInertia = 1172, kInertiaUnit = 1173, kLoadTransmission = 1174, kTestPhases = 1175, kDetectPolePairs = 1176,
    kIdentifyRL = 1177, kInertiaUnknown = 1178, kEncoderLines = 1179, kEncoderLinesUnit = 1180, kHallSensors = 1181,
    kHallCase = 1182, kTemperature = 1183, kNtc = 1185, kPtc = 1186, kTestEncoder = 1187, kTestHalls = 1188,
    kDetectLines = 1189, kDetectHallCase = 1190, kBrakeRelease = 1191, kLoadTransmissionUnit = 1192,
    kRotaryToRotary = 1193, kRotaryToLinear = 1194, kStar = 1195, kDelta = 1196, kBrakeReleaseUnit = 1197,
    kBrakeApply = 1198, kBrakeApplyUnit = 1199, kSingleEndedNote = 3270, kBandwidthNote = 3272,
    kReverseCounting = 3358, kEncoderFilter = 3359, kUseEncoderFilter = 3360, kBrake = 3363, kBrakeOutput = 3364,
    kBrakeText = 3368, kPicture = 3369, kSwitchLimitSwitches = 3390, kDatabase = 10010, kMotor = 10011,
    kSaveMotor = 10012, kDeleteMotor = 10013, kMotorEditorOk = 10018, kHelp = 10024,
    // Labels and boxes.
    kNominalCurrentLabel = 3900, kPeakCurrentLabel, kPolePairsLabel, kTorqueConstantLabel, kResistanceLabel,
    kInductanceLabel, kInertiaLabel, kPhaseConnectionLabel, kEncoderLinesLabel, kHallCaseLabel, kSensorTypeLabel,
    kTransmissionTypeLabel, kMotorDisplacementLabel, kLoadDisplacementLabel, kBrakeBox, kBrakeReleaseLabel,
    kBrakeApplyLabel, kDatabaseLabel, kMotorLabel,
};

}  // namespace motor_setup
