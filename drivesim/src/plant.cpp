#include "drivesim/plant.h"

#include <algorithm>
#include <cmath>

namespace drivesim {

namespace {

constexpr double kSqrt3 = 1.7320508075688772;
constexpr double kMaxAnglePerSubStep = 0.1;          // electrical rad
constexpr double kMaxAnglePerSalientSubStep = 0.02;
constexpr int kMaxSubSteps = 4096;
constexpr int kResyncSteps = 1024;

double Sign(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

// Leg voltage lost to the dead time: against the current, fading out near zero current.
double DeadLoss(double volts, double current, double inverseFade)
{
    return -volts * std::clamp(current * inverseFade, -1.0, 1.0);
}

// Turns the unit vector (c, s) by `by` radians.
inline void RotateBy(double& s, double& c, double by)
{
    if (by == 0) return;
    double sb, cb;
    if (std::fabs(by) < 0.1) {  // Taylor to the 7th order: exact in double precision here
        const double b2 = by * by;
        constexpr double k2 = 1.0 / 2, k6 = 1.0 / 6, k12 = 1.0 / 12, k20 = 1.0 / 20, k30 = 1.0 / 30, k42 = 1.0 / 42;
        sb = by * (1 - b2 * k6 * (1 - b2 * k20 * (1 - b2 * k42)));
        cb = 1 - b2 * k2 * (1 - b2 * k12 * (1 - b2 * k30));
    } else {
        sb = std::sin(by);
        cb = std::cos(by);
    }
    const double s2 = s * cb + c * sb;
    c = c * cb - s * sb;
    s = s2;
}

}  // namespace

Plant::Plant(const MotorModel& motor)
    : m_motor(motor), m_psi(motor.torqueConstant / (1.5 * motor.polePairs)), m_ld(motor.Ld()), m_lq(motor.Lq()),
      m_salient(motor.Ld() != motor.Lq()), m_conductance(1 / motor.resistance),
      m_torquePerAmp(1.5 * motor.polePairs * m_psi), m_voltageLimit(motor.vdc / kSqrt3)
{
}

void Plant::SetPowerStage(bool on)
{
    m_on = on;
    if (!on) {
        m_ialpha = m_ibeta = 0;
        m_valpha = m_vbeta = 0;
    }
}

void Plant::SetVoltage(double alpha, double beta)
{
    const double limit = m_voltageLimit;
    const double square = alpha * alpha + beta * beta;
    if (square > limit * limit) {
        const double k = limit / std::sqrt(square);
        alpha *= k;
        beta *= k;
    }
    m_valpha = alpha;
    m_vbeta = beta;
}

void Plant::SetDeadTime(double volts, double fadeCurrent)
{
    m_deadVolts = volts;
    m_fadeCurrent = fadeCurrent > 0 ? fadeCurrent : 1e-3;
    m_inverseFade = 1 / m_fadeCurrent;
}

void Plant::Resync()
{
    const double angle = ElectricalAngle();
    m_sin = std::sin(angle);
    m_cos = std::cos(angle);
    m_sinceResync = 0;
}

void Plant::HandTurn(double radians, double seconds)
{
    m_omega = 0;
    if (!(seconds > 0)) {
        m_theta += radians;
        m_hand = Hand::Holding;
        Resync();
        return;
    }
    m_hand = Hand::Turning;
    m_handRate = radians / seconds;
    m_handLeft = seconds;
    m_handTarget = m_theta + radians;
}

void Plant::Rest(std::int64_t steps, double seconds)
{
    for (std::int64_t k = 0; k < steps; ++k) m_time += seconds;  // the same sum, to the last bit
    // At rest the angle stands still: one fresh sine and cosine do for every resync among them.
    const std::int64_t count = m_sinceResync + steps;
    if (count >= kResyncSteps) Resync();
    m_sinceResync = static_cast<int>(count % kResyncSteps);
    if (m_hand == Hand::Holding || m_fault == Fault::LockedRotor) m_omega = 0;
}

void Plant::Halt()
{
    if (!std::isfinite(m_theta)) m_theta = 0;
    m_omega = 0;
    m_ialpha = m_ibeta = 0;
    m_hand = Hand::Off;
    Resync();
}

bool Plant::AtRest() const
{
    if (m_hand == Hand::Turning) return false;
    if (m_hand == Hand::Holding || m_fault == Fault::LockedRotor) return true;
    return m_omega == 0 && std::fabs(m_motor.loadTorque) <= m_motor.coulombFriction;
}

double Plant::TorqueAt(double s, double c) const
{
    const double iq = m_ibeta * c - m_ialpha * s;
    if (!m_salient) return m_torquePerAmp * iq;
    const double id = m_ialpha * c + m_ibeta * s;
    return 1.5 * m_motor.polePairs * (m_psi * iq + (m_ld - m_lq) * id * iq);
}

double Plant::Torque() const { return TorqueAt(m_sin, m_cos); }

PhaseCurrents Plant::MidStepCurrents(double seconds)
{
    if (seconds != m_halfStep) {
        m_halfStep = seconds;
        m_halfDecay = std::exp(-0.5 * seconds * m_motor.resistance * 2 / (m_ld + m_lq));
    }
    const double e = m_motor.polePairs * m_omega * m_psi;
    const double swap = m_fault == Fault::PhasesSwapped ? -1.0 : 1.0;
    const double targetAlpha = (m_valpha + e * m_sin) * m_conductance;
    const double targetBeta = (swap * m_vbeta - e * m_cos) * m_conductance;
    return PhaseCurrentsOf(targetAlpha + (m_ialpha - targetAlpha) * m_halfDecay,
                           targetBeta + (m_ibeta - targetBeta) * m_halfDecay);
}

PhaseCurrents Plant::InverterCurrents() const { return PhaseCurrentsOf(m_ialpha, m_ibeta); }

PhaseCurrents Plant::PhaseCurrentsOf(double alpha, double beta) const
{
    if (m_fault == Fault::PhasesSwapped) beta = -beta;  // inverter B drives motor C and the reverse
    PhaseCurrents p;
    p.a = alpha;
    p.b = -0.5 * alpha + 0.5 * kSqrt3 * beta;
    p.c = -0.5 * alpha - 0.5 * kSqrt3 * beta;
    return p;
}

void Plant::Factors(double h)
{
    if (h == m_h) return;
    m_h = h;
    m_decayD = std::exp(-h * m_motor.resistance / m_ld);
    m_decayQ = std::exp(-h * m_motor.resistance / m_lq);
    const double b = m_motor.viscousFriction, j = m_motor.TotalInertia();
    m_decayMech = b > 0 ? std::exp(-h * b / j) : 1.0;
    m_inverseFriction = b > 0 ? 1 / b : 0.0;
    m_inverseInertia = 1 / j;
    m_mechanicalLag = b > 0 ? -j / b * std::expm1(-h * b / j) : 0.0;  // s: how far the speed's change moves the shaft
}

bool Plant::Advance(double seconds)
{
    if (!(seconds > 0)) return true;
    const int p = m_motor.polePairs;

    // The inverter's voltage for this step: the request less the dead-time loss of each leg at the
    // currents expected in the middle of the step, then seen from the motor's terminals.
    double valpha = 0, vbeta = 0;
    if (m_on) {
        const PhaseCurrents i = MidStepCurrents(seconds);
        const double inverseFade = m_inverseFade;
        const double da = DeadLoss(m_deadVolts, i.a, inverseFade);
        const double db = DeadLoss(m_deadVolts, i.b, inverseFade);
        const double dc = DeadLoss(m_deadVolts, i.c, inverseFade);
        constexpr double kThird = 1.0 / 3, kInvSqrt3 = 1 / kSqrt3;
        valpha = m_valpha + (2 * da - db - dc) * kThird;
        vbeta = m_vbeta + (db - dc) * kInvSqrt3;
        if (m_fault == Fault::PhasesSwapped) vbeta = -vbeta;
    }

    const double turn = std::fabs(p * m_omega) * seconds;
    const double handTurn = m_hand == Hand::Turning ? std::fabs(p * m_handRate) * seconds : 0.0;
    const double most = std::max(turn, handTurn);
    const double perStep = m_salient ? kMaxAnglePerSalientSubStep : kMaxAnglePerSubStep;
    const double steps = most <= perStep ? 1.0 : std::ceil(most / perStep);
    if (!(steps <= kMaxSubSteps)) {
        m_problem = "the motor turns too fast for the model (" + std::to_string(m_omega) + " rad/s)";
        return false;
    }
    const int n = std::max(1, static_cast<int>(steps));
    const double h = n == 1 ? seconds : seconds / n;
    Factors(h);

    for (int k = 0; k < n; ++k) {
        double s = m_sin, c = m_cos;  // at the middle of the sub-step
        RotateBy(s, c, 0.5 * h * p * m_omega);
        if (m_on) {
            if (m_salient) StepSalient(s, c, valpha, vbeta);
            else StepElectrical(s, c, valpha, vbeta);
            if (m_fault == Fault::OpenPhase) m_ialpha = 0;  // phase A carries nothing
        }
        const double before = m_theta;
        StepMechanical(h, m_on ? TorqueAt(s, c) : 0.0);
        RotateBy(m_sin, m_cos, p * (m_theta - before));
        m_time += h;
    }
    if (++m_sinceResync >= kResyncSteps) Resync();
    if (!std::isfinite(m_ialpha) || !std::isfinite(m_ibeta) || !std::isfinite(m_theta) || !std::isfinite(m_omega)) {
        m_problem = "the motor model's state is no longer finite";
        return false;
    }
    return true;
}

void Plant::StepElectrical(double s, double c, double valpha, double vbeta)
{
    const double e = m_motor.polePairs * m_omega * m_psi;  // back-EMF amplitude, V
    const double targetAlpha = (valpha + e * s) * m_conductance;
    const double targetBeta = (vbeta - e * c) * m_conductance;
    m_ialpha = targetAlpha + (m_ialpha - targetAlpha) * m_decayD;
    m_ibeta = targetBeta + (m_ibeta - targetBeta) * m_decayD;
}

void Plant::StepSalient(double s, double c, double valpha, double vbeta)
{
    const double we = m_motor.polePairs * m_omega;
    const double r = m_motor.resistance;
    double id = m_ialpha * c + m_ibeta * s;
    double iq = m_ibeta * c - m_ialpha * s;
    const double vd = valpha * c + vbeta * s;
    const double vq = -valpha * s + vbeta * c;
    const double targetD = (vd + we * m_lq * iq) / r;
    const double targetQ = (vq - we * m_ld * id - we * m_psi) / r;
    id = targetD + (id - targetD) * m_decayD;
    iq = targetQ + (iq - targetQ) * m_decayQ;
    m_ialpha = id * c - iq * s;
    m_ibeta = id * s + iq * c;
}

void Plant::StepMechanical(double h, double torque)
{
    if (m_hand == Hand::Off && m_fault != Fault::LockedRotor) return StepFree(h, torque);
    if (m_fault == Fault::LockedRotor) {
        m_omega = 0;
        return;
    }
    if (m_hand == Hand::Turning) {
        const double t = std::min(h, m_handLeft);
        m_theta += m_handRate * t;
        m_handLeft -= t;
        m_omega = m_handRate;
        if (m_handLeft <= 1e-12) {  // what is left of the turn is rounding
            m_theta = m_handTarget;
            m_omega = 0;
            m_hand = Hand::Holding;
        }
        return;
    }
    m_omega = 0;  // held
}

void Plant::StepFree(double h, double torque)
{
    const double drive = torque - m_motor.loadTorque;
    const double tc = m_motor.coulombFriction;
    if (m_omega == 0 && std::fabs(drive) <= tc) return;  // sticks
    const double direction = m_omega != 0 ? Sign(m_omega) : Sign(drive);
    const double net = drive - tc * direction;
    double omega, theta;
    if (m_motor.viscousFriction > 0) {
        const double wInf = net * m_inverseFriction;
        omega = wInf + (m_omega - wInf) * m_decayMech;
        theta = m_theta + wInf * h + (m_omega - wInf) * m_mechanicalLag;
    } else {
        const double a = net * m_inverseInertia;
        omega = m_omega + a * h;
        theta = m_theta + m_omega * h + 0.5 * a * h * h;
    }
    // Friction stops the shaft; it does not turn it back.
    if (Sign(omega) == -direction) omega = 0;
    m_omega = omega;
    m_theta = theta;
}

}  // namespace drivesim
