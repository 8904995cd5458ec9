#pragma once
// The motor, its load and the inverter that feeds it, stepped in time.
//
// Convention, used everywhere in the simulator: amplitude-invariant transforms. Phase currents
// a, b, c (a + b + c = 0) give alpha = a, beta = (a + 2b) / sqrt(3); the rotor frame turns by the
// electrical angle theta = p * mechanical angle, measured from phase A's axis to the rotor's d axis
// (the magnet's north pole): d = alpha cos(theta) + beta sin(theta), q = -alpha sin(theta) + beta cos(theta).
// A current vector of amplitude I along phase A is a = I, b = c = -I/2. The magnet flux is
// psi = Kt / (1.5 p), so that the torque 1.5 p (psi iq + (Ld - Lq) id iq) is Kt * iq with Ld = Lq.
//
// Electrical part, in the rotor frame:
//   vd = R id + Ld did/dt - we Lq iq,   vq = R iq + Lq diq/dt + we Ld id + we psi.
// Each step holds the inverter's voltage (fixed in the stator frame, as a PWM period holds it).
// With Ld = Lq the equations are integrated in the stator frame, L di/dt = v - R i - e, where
// they have no speed terms: the R-L decay is exact (zero-order hold) and only the back-EMF e,
// taken at the middle of a sub-step, turns with the rotor; a sub-step turns it by at most 0.1
// electrical radians. With Ld != Lq they are integrated in the rotor frame with the speed terms
// held over sub-steps of at most 0.02 electrical radians.
// Mechanics: J dw/dt = T - B w - Tc sign(w) - Tload, exact for the torque held over a sub-step,
// with sticking at standstill while |T - Tload| <= Tc.
#include <cstdint>
#include <string>

#include "drivesim/motor_model.h"

namespace drivesim {

constexpr double kPi = 3.141592653589793;

struct PhaseCurrents {
    double a = 0, b = 0, c = 0;
};

class Plant {
public:
    explicit Plant(const MotorModel& motor);

    void SetFault(Fault fault) { m_fault = fault; }
    const MotorModel& Motor() const { return m_motor; }

    // The power stage: off leaves the phases open (no current flows, no voltage is applied).
    void SetPowerStage(bool on);
    bool PowerStage() const { return m_on; }
    // Volts the inverter is asked for in the stator frame, for the steps that follow; the vector
    // is limited to what the bus allows with space-vector modulation (Vdc / sqrt 3).
    void SetVoltage(double alpha, double beta);
    // Mean voltage each inverter leg loses to the PWM dead time (V, against its current), and the
    // current below which that loss fades linearly to 0 (A).
    void SetDeadTime(double volts, double fadeCurrent);

    // Advances by `seconds`. False, with Problem() set, when the model cannot go on: a state that is
    // no longer finite, or a speed too high to integrate accurately.
    bool Advance(double seconds);
    const std::string& Problem() const { return m_problem; }
    // `steps` steps of `seconds` with the power stage off and the shaft at rest (AtRest), as
    // Advance would make them.
    void Rest(std::int64_t steps, double seconds);
    // After a failure: the shaft stopped where it was (or at 0), no current, no hand.
    void Halt();

    // A hand on the shaft: turns it by `radians` at a steady speed over `seconds`, then holds it.
    void HandTurn(double radians, double seconds);
    void HandRelease() { m_hand = Hand::Off; }
    bool HandOn() const { return m_hand != Hand::Off; }

    // True when nothing can change while the power stage stays off: shaft at rest, no hand moving
    // it, and no load torque able to overcome the friction.
    bool AtRest() const;

    double Time() const { return m_time; }                  // s since the start
    double Id() const { return m_ialpha * m_cos + m_ibeta * m_sin; }   // A, rotor frame
    double Iq() const { return m_ibeta * m_cos - m_ialpha * m_sin; }
    double MechanicalAngle() const { return m_theta; }      // rad, not wrapped
    double MechanicalSpeed() const { return m_omega; }      // rad/s
    double ElectricalAngle() const { return m_theta * m_motor.polePairs; }  // rad, not wrapped
    double Torque() const;                                  // Nm, electromagnetic
    // Square of the current vector's amplitude, A^2.
    double CurrentSquared() const { return m_ialpha * m_ialpha + m_ibeta * m_ibeta; }
    // Phase currents at the inverter's terminals (what its sensors measure), A.
    PhaseCurrents InverterCurrents() const;
    // Voltage vector applied after limiting, V, stator frame.
    double AppliedAlpha() const { return m_valpha; }
    double AppliedBeta() const { return m_vbeta; }

private:
    enum class Hand { Off, Turning, Holding };

    // Inverter phase currents for motor currents (alpha, beta).
    PhaseCurrents PhaseCurrentsOf(double alpha, double beta) const;
    // The inverter's phase currents half-way through a step of `seconds`, as the requested voltage
    // drives them.
    PhaseCurrents MidStepCurrents(double seconds);
    void StepElectrical(double sinT, double cosT, double valpha, double vbeta);
    void StepSalient(double sinT, double cosT, double valpha, double vbeta);
    double TorqueAt(double sinT, double cosT) const;
    void StepMechanical(double h, double torque);
    void StepFree(double h, double torque);
    void Factors(double h);
    void Resync();                 // sine and cosine of the electrical angle, afresh
    double m_halfStep = -1, m_halfDecay = 0;
    double m_inverseFriction = 0, m_inverseInertia = 0, m_mechanicalLag = 0;
    MotorModel m_motor;
    Fault m_fault = Fault::None;
    double m_psi = 0;       // Wb, magnet flux
    double m_ld = 0, m_lq = 0;
    bool m_salient = false;
    double m_conductance = 1;      // 1/R
    double m_torquePerAmp = 0;     // Nm per A of q current, Ld = Lq
    double m_voltageLimit = 0;     // V, what the bus allows
    bool m_on = false;
    double m_valpha = 0, m_vbeta = 0;   // V, requested after limiting
    double m_deadVolts = 0, m_fadeCurrent = 0.02, m_inverseFade = 1 / 0.02;

    double m_time = 0;
    double m_ialpha = 0, m_ibeta = 0;   // A, stator frame
    double m_theta = 0, m_omega = 0;
    // Sine and cosine of the electrical angle, carried along by small rotations and computed
    // afresh every kResyncSteps steps.
    double m_sin = 0, m_cos = 1;
    int m_sinceResync = 0;

    Hand m_hand = Hand::Off;
    double m_handRate = 0;     // rad/s while turning
    double m_handLeft = 0;     // s of turning left
    double m_handTarget = 0;   // rad where the turn ends

    // Sub-step factors for the last sub-step length.
    double m_h = -1, m_decayD = 0, m_decayQ = 0, m_decayMech = 0;
    std::string m_problem;
};

}  // namespace drivesim
