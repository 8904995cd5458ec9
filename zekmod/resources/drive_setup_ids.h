#pragma once
// Control ids of the Drive Setup dialog (template 106). Ids 36xx are labels and group boxes
// the drive family's template leaves unnumbered.
namespace drive_setup {

constexpr int kTemplateId = 106;

// Drive operation parameters
constexpr int kGroupDriveOperation = 3600, kLabelPowerSupply = 3601, kVdc = 3163, kVdcUnit = 3166, kDetect = 3171;
constexpr int kLabelCurrentLimit = 3602, kIlimPS = 3169, kIlimPSUnit = 3170;
// Current controller
constexpr int kGroupCurrent = 3603, kLabelKpC = 3604, kKpC = 3173, kLabelKiC = 3605, kKiC = 3176, kTuneCurrent = 3137;
// Speed controller
constexpr int kGroupSpeed = 3606, kTuneSpeed = 3178, kLabelKpS = 3607, kKpS = 3179, kLabelKiS = 3608, kKiS = 3180;
constexpr int kLabelIntLimitS = 3609, kIPSatS = 3181, kIPSatSUnit = 3182;
constexpr int kLabelFeedforwardS = 3610, kLabelAccS = 3611, kKffaS = 3183, kLabelSpeedS = 3612, kKffsS = 3265;
// Position controller
constexpr int kGroupPosition = 3613, kTunePosition = 3198, kLabelKpP = 3614, kKpP = 3190, kLabelKiP = 3615, kKiP = 3191;
constexpr int kLabelKdP = 3616, kKdP = 3192, kLabelKdFilter = 3617, kFilterD = 3193;
constexpr int kLabelIntLimitP = 3618, kIPSatP = 3194, kIPSatPUnit = 3195;
constexpr int kLabelFeedforwardP = 3619, kLabelSpeedP = 3620, kKffsP = 3196, kLabelAccP = 3621, kKffaP = 3197;
constexpr int kLabelLoadSpeedLimit = 3622, kLimitSpeed = 1043, kLimitSpeedUnit = 1044;
// Control mode, external reference, commutation
constexpr int kGroupControlMode = 3623, kModePosition = 1059, kModeSpeed = 1060, kModeTorque = 1061;
constexpr int kGroupExternalReference = 3624, kExtRefNo = 1063, kExtRefYes = 1064, kExtRefSetup = 3208;
constexpr int kAutoActivated = 3116, kAnalogueRadio = 3290, kDigitalRadio = 3291, kLabelAnalogue = 3262, kLabelDigital = 3318;
constexpr int kGroupCommutation = 3625, kTrapezoidal = 3211, kSinusoidal = 3212;
// Protections
constexpr int kGroupProtections = 3626, kOverCurrent = 3213, kLabelMotorCurrent = 3627, kImaxProt = 3214, kImaxProtUnit = 3215;
constexpr int kLabelForMoreThanI = 3628, kTimeImaxProt = 3216, kTimeImaxProtUnit = 3217;
constexpr int kPositionControlError = 3230, kLabelPositionError = 3629, kErrPosition = 3218, kErrPositionUnit = 3219;
constexpr int kLabelForMoreThanP = 3630, kTimeErrPos = 3220, kTimeErrPosUnit = 3221;
constexpr int kSpeedControlError = 3231, kLabelSpeedError = 3631, kErrSpeed = 3222, kErrSpeedUnit = 3223;
constexpr int kLabelForMoreThanS = 3632, kTimeErrSpd = 3224, kTimeErrSpdUnit = 3225;
constexpr int kMotorOverTemp = 3232, kI2t = 3233, kLabelI2tCurrent = 3633, kI2tCurrent = 3226, kI2tCurrentUnit = 3227;
constexpr int kLabelI2tFor = 3634, kI2tTime = 3228, kI2tTimeUnit = 3229;
// External brake resistor
constexpr int kGroupBrakeResistor = 3635, kBrakeResistor = 3243, kLabelVbrake = 3636, kVbrake = 3244, kVbrakeUnit = 3245;
// Inputs polarity
constexpr int kGroupInputsPolarity = 3637, kLabelEnable = 3638, kEnableHigh = 1046, kEnableLow = 1047;
constexpr int kLabelLsp = 3639, kLspHigh = 3251, kLspLow = 3252, kLabelLsn = 3640, kLsnHigh = 3253, kLsnLow = 3254;
constexpr int kLabelType = 3641, kSourceType = 3387, kSinkType = 3388, kHeaderHigh = 3385, kHeaderLow = 3386;
// Software limit switches
constexpr int kGroupSwls = 3642, kSwls = 3351, kLabelNegativeSwls = 3643, kNegativeSwls = 3270, kNegativeSwlsUnit = 3271;
constexpr int kLabelPositiveSwls = 3644, kPositiveSwls = 3268, kPositiveSwlsUnit = 3269;
// Start mode
constexpr int kGroupStartMode = 3645, kStartAlign = 1096, kStartBldcHalls = 1097, kStartMotionless = 1098;
constexpr int kStartPmsmHalls = 1099, kStartAbsolute = 1100;
constexpr int kLabelStartCurrent = 3646, kStartCurrent = 3257, kStartCurrentUnit = 3258;
constexpr int kLabelTimeAB = 3647, kTimeAB = 3260, kTimeABUnit = 3261, kTuneStart = 3264;
// CANbus and axis id
constexpr int kGroupCan = 3648, kSaveBaudRate = 3371, kSaveAxisId = 3372, kLabelBaudRate = 3649;
constexpr int kGroupAxisId = 3650, kLabelAxisId = 3651, kAxisIdList = 3136;
// Buttons
constexpr int kMotorSetup = 10019, kAdvanced = 3158, kDriveInfo = 3159, kHelp = 10024;

}  // namespace drive_setup
