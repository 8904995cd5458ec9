// The motor, inverter and sensors against closed-form physics: an R-L circuit's step response,
// steady currents with and without the dead-time loss, the no-load speed a voltage gives against
// back-EMF and friction, a shaft accelerated by a constant torque, and the Hall and encoder
// sequences of a turning shaft.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "drivesim/hall_table.h"
#include "drivesim/plant.h"
#include "drivesim/sensors.h"

namespace {

using drivesim::Fault;
using drivesim::kPi;
using drivesim::MotorModel;
using drivesim::Plant;

constexpr double kTs = 50e-6;

MotorModel Motor()
{
    MotorModel m;
    m.resistance = 1.12;
    m.inductance = 1.45e-3;
    return m;
}

// A voltage step on a locked rotor: i(t) = V/R (1 - exp(-t R/L)), exactly at every step, and the
// current into phase A returns through B and C in halves.
TEST(Plant, RlStepResponse)
{
    Plant plant(Motor());
    plant.SetFault(Fault::LockedRotor);
    plant.SetPowerStage(true);
    plant.SetVoltage(5.0, 0.0);
    const double r = 1.12, tau = 1.45e-3 / 1.12;
    for (int k = 1; k <= 200; ++k) {
        ASSERT_TRUE(plant.Advance(kTs));
        const double expected = 5.0 / r * (1 - std::exp(-k * kTs / tau));
        const drivesim::PhaseCurrents i = plant.InverterCurrents();
        ASSERT_NEAR(i.a, expected, 1e-12 * expected) << k;
        ASSERT_NEAR(i.b, -i.a / 2, 1e-12) << k;
        ASSERT_NEAR(i.c, -i.a / 2, 1e-12) << k;
    }
}

// Each inverter leg loses Vdt against its current: along phase A that is 4/3 Vdt of the vector,
// at right angles to it 2/sqrt(3) Vdt; below the fade current the loss shrinks.
TEST(Plant, SteadyCurrentWithAndWithoutDeadTime)
{
    const double r = 1.12, v = 3.0, vdt = 0.6;
    struct Case {
        double alpha, beta, deadTime, expectAlpha, expectBeta;
    } cases[] = {
        {v, 0, 0, v / r, 0},
        {v, 0, vdt, (v - 4.0 / 3 * vdt) / r, 0},
        {0, v, vdt, 0, (v - 2 / std::sqrt(3.0) * vdt) / r},
    };
    for (const Case& c : cases) {
        Plant plant(Motor());
        plant.SetFault(Fault::LockedRotor);
        plant.SetPowerStage(true);
        plant.SetDeadTime(c.deadTime, 0.02);
        plant.SetVoltage(c.alpha, c.beta);
        for (int k = 0; k < 2000; ++k) ASSERT_TRUE(plant.Advance(kTs));
        const drivesim::PhaseCurrents i = plant.InverterCurrents();
        EXPECT_NEAR(i.a, c.expectAlpha, 1e-9) << c.deadTime;
        EXPECT_NEAR((i.a + 2 * i.b) / std::sqrt(3.0), c.expectBeta, 1e-9) << c.deadTime;
    }
}

// A voltage along the rotor's q axis spins the motor up until the back-EMF and the winding drop
// leave just the current that carries the friction: with vd = 0,
//   id = we L iq / R,  Vq = iq (R + we^2 L^2 / R) + we psi,  Kt iq = B w + Tc,  we = p w.
TEST(Plant, NoLoadSpeedFromBackEmf)
{
    MotorModel m = Motor();
    m.viscousFriction = 2e-4;
    Plant plant(m);
    plant.SetPowerStage(true);
    const double vq = 8.0, p = m.polePairs, psi = m.torqueConstant / (1.5 * p);
    for (int k = 0; k < 60000; ++k) {
        const double angle = plant.ElectricalAngle() + 0.5 * kTs * p * plant.MechanicalSpeed();
        plant.SetVoltage(-vq * std::sin(angle), vq * std::cos(angle));
        ASSERT_TRUE(plant.Advance(kTs)) << plant.Problem();
    }
    auto excess = [&](double w) {  // voltage the steady state needs at speed w, less what is applied
        const double iq = (m.viscousFriction * w + m.coulombFriction) / m.torqueConstant;
        const double we = p * w;
        return iq * (m.resistance + we * we * m.inductance * m.inductance / m.resistance) + we * psi - vq;
    };
    double lo = 0, hi = 1e4;
    for (int i = 0; i < 200; ++i) (excess(0.5 * (lo + hi)) > 0 ? hi : lo) = 0.5 * (lo + hi);
    EXPECT_NEAR(plant.MechanicalSpeed(), lo, 1e-3 * lo);
}

// A hanging load with the power stage off: J dw/dt = -Tl - B w + Tc (falling backwards), so
// w(t) = -(Tl - Tc)/B (1 - exp(-B t / J)); a load the friction can hold does not move.
TEST(Plant, AccelerationUnderConstantTorqueWithFriction)
{
    MotorModel m = Motor();
    m.loadTorque = 0.05;
    m.loadInertia = 4e-5;
    Plant plant(m);
    const double j = m.inertia + m.loadInertia, b = m.viscousFriction, net = m.loadTorque - m.coulombFriction;
    for (int k = 1; k <= 4000; ++k) {
        ASSERT_TRUE(plant.Advance(kTs));
        const double t = k * kTs;
        const double w = -net / b * (1 - std::exp(-b * t / j));
        // t - J/B (1 - exp(-x)) with x = B t / J, summed as J/B (x^2/2! - x^3/3! + ...) to keep its digits.
        const double x = b * t / j;
        double series = 0, term = -x;
        for (int n = 2; n < 30; ++n) series += (term *= -x / n);
        const double theta = -net / b * (j / b) * series;
        ASSERT_NEAR(plant.MechanicalSpeed(), w, 1e-9 * std::fabs(w)) << k;
        ASSERT_NEAR(plant.MechanicalAngle(), theta, 1e-9 * std::fabs(theta) + 1e-12) << k;
    }
    m.loadTorque = 0.9 * m.coulombFriction;
    Plant held(m);
    for (int k = 0; k < 1000; ++k) ASSERT_TRUE(held.Advance(kTs));
    EXPECT_EQ(held.MechanicalAngle(), 0);
}

// States of the Hall sensors while a hand turns the shaft by one electrical turn, sampled in the
// middle of each 60-degree sector (after the shift): each case's row of the table, backwards for a
// backward turn; a missing supply reads 7, a stuck B sensor loses bit 1.
TEST(Sensors, HallSequencesForOneElectricalTurn)
{
    for (int hallCase = drivesim::kFirstHallCase; hallCase <= drivesim::kLastHallCase; ++hallCase) {
        for (int direction : {1, -1}) {
            MotorModel m = Motor();
            m.hallCase = hallCase;
            m.hallShift = 12;
            drivesim::Sensors sensors(m, 1);
            Plant plant(m);
            const double sectorMech = kPi / 3 / m.polePairs;
            plant.HandTurn((12.0 + 30.0) * kPi / 180 / m.polePairs, 0);  // middle of sector 0
            std::vector<int> seen;
            for (int k = 0; k < 6; ++k) {
                seen.push_back(sensors.Hall(plant.ElectricalAngle()));
                plant.HandTurn(direction * sectorMech, 0);
            }
            const auto& row = drivesim::kHallTable[hallCase - drivesim::kFirstHallCase];
            for (int k = 0; k < 6; ++k) EXPECT_EQ(seen[k], row[((direction * k) % 6 + 6) % 6]) << hallCase << " " << k;
        }
    }
    MotorModel m = Motor();
    m.hallCase = 2;
    drivesim::Sensors sensors(m, 1);
    sensors.SetFault(Fault::HallSupply);
    EXPECT_EQ(sensors.Hall(0.5), 7);
    sensors.SetFault(Fault::HallStuck);
    EXPECT_EQ(sensors.Hall(0.5), 5 & ~2);  // sector 0 of case 2 is 5
}

// One mechanical turn each way: 4 counts a line, the sign of the encoder's direction, the index
// captured where the disc passes zero; with a channel missing the count only dithers, with the
// channels swapped it runs backwards.
TEST(Sensors, EncoderOverOneMechanicalTurn)
{
    struct Case {
        int direction;
        Fault fault;
        double turn;           // rad
        long long expected;    // count after the turn
    } cases[] = {
        {1, Fault::None, 2 * kPi, 10000},       {1, Fault::None, -2 * kPi, -10000},
        {-1, Fault::None, 2 * kPi, -10000},     {1, Fault::EncoderSwapped, 2 * kPi, -10000},
        {1, Fault::EncoderAMissing, 2 * kPi, 0}, {1, Fault::EncoderBMissing, -2 * kPi, 0},
    };
    for (const Case& c : cases) {
        MotorModel m = Motor();
        m.encoderDirection = c.direction;
        drivesim::Sensors sensors(m, 1);
        sensors.SetFault(c.fault);
        sensors.TrackEncoder(0.25);  // start away from the index
        const long long start = sensors.EncoderCount();
        sensors.ArmCapture();
        long long lowest = start, highest = start;
        for (int k = 1; k <= 1000; ++k) {
            sensors.TrackEncoder(0.25 + c.turn * k / 1000);
            lowest = std::min<long long>(lowest, sensors.EncoderCount());
            highest = std::max<long long>(highest, sensors.EncoderCount());
        }
        EXPECT_EQ(sensors.EncoderCount() - start, c.expected) << c.direction << " " << drivesim::FaultName(c.fault);
        if (c.expected == 0) {
            EXPECT_LE(highest - lowest, 1);
        } else {
            ASSERT_TRUE(sensors.Captured());
            EXPECT_EQ(std::llabs(sensors.CapturedCount() % 10000), 0) << "the index is at a whole turn of the disc";
        }
    }
}

}  // namespace
