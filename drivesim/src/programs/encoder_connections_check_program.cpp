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
        if (!m_begun) {
            m_begun = true;
            d.PowerOff();  // a powered winding would brake the hand
            d.Publish("var_i2", 0.0);
            c.user["test_flag"] = 1;
            c.user["STARTED"] = 1;
            return true;
        }
        double done = 0.0;
        return !(d.Read("var_i2", done) && done == 1.0);
    }

private:
    bool m_begun = false;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeEncoderConnection() { return std::make_unique<EncoderConnection>(); }

}  // namespace drivesim::programs
