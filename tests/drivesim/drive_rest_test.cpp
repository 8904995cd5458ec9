// Periods the drive lets pass in one go while a program waits must leave it exactly where the
// same periods stepped one by one leave it; and the host's reads of drive variables follow them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "drivesim/drive_core.h"
#include "drivesim/hall_table.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/ui.h"
#include "rurorade/units.h"
#include "zekmod/engine_fixture.h"

namespace {

using drivesim::DriveCore;

// A shaft turned by hand, stopped part-way through a speed-loop period, then left with the power
// stage off; the test frame keeps turning and the Halls are watched.
void Prepare(DriveCore& core)
{
    core.hallCommutation = true;
    core.angleStep = -1234;
    core.GetPlant().HandTurn(0.3, 0.0123);
    while (core.GetPlant().HandOn() && !core.GetPlant().AtRest()) {
        core.Sense();
        core.Act();
    }
}

// Powered periods after the wait show every bit of the state: sensor noise, currents, frame.
void Drive(DriveCore& core)
{
    core.GetPlant().HandRelease();
    core.PowerOn();
    core.vqCommand = 3000;
    for (int k = 0; k < 50; ++k) {
        core.Sense();
        core.Act();
    }
    core.Sense();
}

TEST(DriveRest, SameAsThePeriodsSteppedOneByOne)
{
    // Across no slow sample, one, many, and the plant's resync of its angle every 1024 periods.
    for (const std::int64_t periods : {1, 3, 10, 11, 1023, 1024, 5000}) {
        DriveCore stepped(drivesim::DefaultMotor(), 7), rested(drivesim::DefaultMotor(), 7);
        Prepare(stepped);
        Prepare(rested);
        for (std::int64_t k = 0; k < periods; ++k) {
            stepped.Sense();
            stepped.Act();
        }
        rested.Rest(periods);
        EXPECT_EQ(rested.Periods(), stepped.Periods()) << periods;
        EXPECT_EQ(rested.SlowSample(), stepped.SlowSample()) << periods;
        EXPECT_EQ(rested.testAngle, stepped.testAngle) << periods;
        EXPECT_EQ(rested.hall, stepped.hall) << periods;
        rested.Sense();
        stepped.Sense();
        EXPECT_EQ(rested.speed, stepped.speed) << periods;
        Drive(stepped);
        Drive(rested);
        EXPECT_EQ(rested.ia, stepped.ia) << periods;
        EXPECT_EQ(rested.ib, stepped.ib) << periods;
        EXPECT_EQ(rested.id, stepped.id) << periods;
        EXPECT_EQ(rested.iq, stepped.iq) << periods;
        EXPECT_EQ(rested.apos, stepped.apos) << periods;
        EXPECT_EQ(rested.GetPlant().MechanicalSpeed(), stepped.GetPlant().MechanicalSpeed()) << periods;
    }
}

class DriveVariableReads : public zektest::EngineTest {
protected:
    rurorade::VirtualClock clock;
};

// A variable the drive does not have yet is looked for again; once there, a read gives its
// present value.
TEST_F(DriveVariableReads, FollowWhatTheDrivePublishes)
{
    auto setup = zektest::SampleSetup("default.json");
    ASSERT_TRUE(setup);
    setup->AddVariable("HALLCASE", &rurorade::Dimensionless());
    drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
    CMC_Variable* v = setup->FindVariable("HALLCASE", 1);
    ASSERT_TRUE(v);
    EXPECT_FALSE(drive.ReadVariable(*v));
    for (const double value : {5.0, 11.0}) {
        drive.Core().Publish("HALLCASE", value);
        ASSERT_TRUE(drive.ReadVariable(*v)) << drive.GetLastErrorText();
        EXPECT_EQ(v->GetValueInInternalUnit(), value);
    }
}

// The Halls' angle wrap is fmod's, to the last bit: around multiples of 360 (where a rounded
// quotient is one off), for tiny negative angles, for many turns, and beyond the shortcut's range.
TEST(HallAngleWrap, IsExactlyFmodsRemainder)
{
    auto byFmod = [](double x) {
        const double r = std::fmod(x, 360.0);
        return r < 0 ? r + 360.0 : r;
    };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> exponent(-80, 60), unit(-1, 1);
    std::uniform_int_distribution<int> turns(-100000, 100000), ulps(-3, 3);
    for (int k = 0; k < 200000; ++k) {
        double x = k % 2 ? unit(random) * std::exp2(exponent(random)) : 360.0 * turns(random);
        for (int u = ulps(random); u != 0; u += u > 0 ? -1 : 1) x = std::nextafter(x, u > 0 ? INFINITY : -INFINITY);
        ASSERT_EQ(drivesim::WrapDegrees(x), byFmod(x)) << std::hexfloat << x;
    }
}

}  // namespace
