#pragma once
// State of the host's motor editor inside a setup dialog.
#include <string>

#include "rurorade/edit_setup_dlg.h"
#include "rurorade/motor_database.h"

struct CMC_EditSetupDlg::MotorEditor {
    rurorade::MotorDatabase standard, user;
    std::string userError;  // why the user database could not be read; it is then never written
};
