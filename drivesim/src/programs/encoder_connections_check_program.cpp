// "Encoder_Connection_Test": the power stage stays off while a hand turns the shaft; the drive's
// quadrature decoder counts the encoder edges into "APOS", and the index capture works as armed
// by the command line. The program runs until the host writes 1 into "var_i2".
#include "program_steps.h"

namespace drivesim::programs {

namespace {

class EncoderConnection : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        DriveCore& d = c.drive;
        c.waitsUntil = ProgramContext::kForever;  // only the host's word ends it
        if (!m_done) {
            d.PowerOff();  // a powered winding would brake the hand
            m_done = &d.Published("var_i2");
            *m_done = 0.0;
            c.user["test_flag"] = 1;
            c.user["STARTED"] = 1;
            return true;
        }
        return *m_done != 1.0;
    }

private:
    double* m_done = nullptr;  // "var_i2"
};

}  // namespace

std::unique_ptr<DriveProgram> MakeEncoderConnection() { return std::make_unique<EncoderConnection>(); }

}  // namespace drivesim::programs
