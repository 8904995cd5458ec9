#include "editor/motor_setup_dlg.h"

#include "commissioning/my_test_dlg.h"
#include "commissioning/test_rl.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"

void CMotorSetupDialog::OnCommand(int id)
{
    if (id != kIdentifyRL) return;
    RunChildDialog(
        [&] {
            // The voltage command scale takes its sinusoidal form while the test is open.
            return RunWithSinusoidalMode([&] {
                CTestRL test(m_setup, nullptr);
                return test.DoModal();
            });
        },
        {},
        [&] {
            EncodeRegisters(m_setup);
            DecodeRegisters(m_setup);
            for (const char* name : {"R", "L"}) {
                OnRefreshParameterValue(name);
                RefreshParameterControls(name);
            }
        });
}
