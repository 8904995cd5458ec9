#include "drivesim/drive_core.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "rurorade/host_errors.h"
#include "rurorade/numeric.h"
#include "rurorade/setup.h"

namespace drivesim {

namespace {

// Q15 sine of a 16-bit angle, as the drive's table holds it.
const std::array<std::int16_t, 65536>& SineTable()
{
    static const auto table = [] {
        std::array<std::int16_t, 65536> t{};
        for (int k = 0; k < 65536; ++k) t[k] = static_cast<std::int16_t>(std::lround(32767 * std::sin(2 * kPi * k / 65536)));
        return t;
    }();
    return table;
}
inline std::int64_t Sin16(std::uint16_t a) { return SineTable()[a]; }
inline std::int64_t Cos16(std::uint16_t a) { return SineTable()[static_cast<std::uint16_t>(a + 16384)]; }

constexpr std::int64_t kInvSqrt3Q15 = 18919;  // 32768 / sqrt(3)

CMC_Parameter* QuietFind(CMC_Setup* setup, const char* name)
{
    const rurorade::QuietLookups quiet;
    return setup->FindParameter(name);
}

bool ReadPositive(CMC_Setup* setup, const char* name, double& value, std::string& error)
{
    CMC_Parameter* p = QuietFind(setup, name);
    if (p == nullptr) {
        error = std::string("The drive configuration lacks \"") + name + "\".";
        return false;
    }
    value = p->GetValueInBaseUnit();
    if (!(value > 0) || !std::isfinite(value)) {
        error = std::string("The drive configuration has an unusable \"") + name + "\".";
        return false;
    }
    return true;
}

// Dead time of the PWM from the DBT register (two byte-wide counts, the larger applies) scaled by DBTPC %.
double DeadTimeOf(CMC_Setup* setup, double dspFreq)
{
    CMC_Parameter* dbt = QuietFind(setup, "DBT");
    if (dbt == nullptr) return 0.0;
    const std::int32_t d = TruncToInt32(dbt->GetValueInBaseUnit());
    if (d == 0) return 1e-6;
    CMC_Parameter* dbtpc = QuietFind(setup, "DBTPC");
    const double k = dbtpc ? dbtpc->GetValueInBaseUnit() / 100.0 : 0.5;
    return std::max(d & 0xFF, (d >> 8) & 0xFF) * k / dspFreq;
}

enum Q { kMer, kIq, kId, kIa, kIb, kUq, kUd, kApos, kAspd, kHall, kAd5, kCappos, kThtst, kSpdRef, kIqRef, kPosRef, kPosErr, kSpdErr };

constexpr std::pair<std::string_view, int> kNames[] = {
    {"MER", kMer},           {"IQ", kIq},
    {"Motor_Current", kIq},  {"ID", kId},
    {"IA", kIa},             {"IB", kIb},
    {"UQ", kUq},             {"Voltage_Reference", kUq},
    {"UD", kUd},             {"APOS", kApos},
    {"APOS_MT", kApos},      {"Motor_Position", kApos},
    {"Load_Position", kApos}, {"ASPD", kAspd},
    {"ASPD_MT", kAspd},      {"Motor_Speed", kAspd},
    {"Load_Speed", kAspd},   {"HALL", kHall},
    {"AD5", kAd5},           {"CAPPOS", kCappos},
    {"THTST", kThtst},       {"Speed_Reference", kSpdRef},
    {"SPDREF", kSpdRef},     {"Current_Reference", kIqRef},
    {"IQREF", kIqRef},       {"Position_Reference", kPosRef},
    {"TPOS", kPosRef},       {"Position_Error", kPosErr},
    {"POSERR", kPosErr},     {"Speed_Error", kSpdErr},
    {"SPDERR", kSpdErr},     {"Target_Position", kPosRef},
    {"Electric_Angle", kThtst},
};

}  // namespace

int DriveHardware::SlowRatio() const
{
    const double r = std::round(slPer / clPer);
    return r >= 1 && r <= 1e6 ? static_cast<int>(r) : 1;
}

bool ReadHardware(CMC_Setup* setup, DriveHardware& hw, std::string& error)
{
    if (setup == nullptr) {
        error = "The drive has no configuration.";
        return false;
    }
    const double adcMax = static_cast<double>(Compute_ADCMaxValue(setup));
    if (!(adcMax > 0)) {
        error = "The drive configuration has no converter range.";
        return false;
    }
    double vdcMax = 0;
    if (!ReadPositive(setup, "ImaxPS", hw.imaxPS, error) || !ReadPositive(setup, "VdcMaxMeasurable", vdcMax, error) ||
        !ReadPositive(setup, "DSP_freq", hw.dspFreq, error) || !ReadPositive(setup, "PWMPER", hw.pwmPer, error) ||
        !ReadPositive(setup, "CLPER", hw.clPer, error))
        return false;
    hw.slPer = hw.clPer * 10;
    if (CMC_Parameter* p = QuietFind(setup, "SLPER"); p && p->GetValueInBaseUnit() > 0) hw.slPer = p->GetValueInBaseUnit();
    hw.ranges.adcMax = adcMax;
    hw.ranges.step = ConverterStep(adcMax);
    hw.ranges.currentScale = adcMax / (2 * hw.imaxPS);
    hw.ranges.busScale = adcMax / vdcMax;
    if (CMC_Parameter* p = QuietFind(setup, "AnalogueInputsRange"); p && p->GetValueInBaseUnit() > 0)
        hw.ranges.analogueRange = p->GetValueInBaseUnit();
    hw.deadTime = DeadTimeOf(setup, hw.dspFreq);
    if (!(hw.LoopPeriod() > 1e-7 && hw.LoopPeriod() < 0.1)) {
        error = "The drive configuration gives an unusable current loop period.";
        return false;
    }
    return true;
}

DriveCore::DriveCore(const MotorModel& motor, std::uint64_t seed)
    : analogueVolts(motor.analogueInput), m_motor(motor), m_plant(motor), m_sensors(motor, seed),
      m_voltsPerUnit(VoltsPerCommand(motor.vdc) / 32768)
{
    SineTable();
    Configure(m_hw);
}

void DriveCore::Configure(const DriveHardware& hardware)
{
    m_hw = hardware;
    m_ts = m_hw.LoopPeriod();
    m_slowRatio = m_hw.SlowRatio();
    m_slowPhase = 0;
    m_sensors.SetRanges(m_hw.ranges);
    m_plant.SetDeadTime(m_motor.vdc * m_hw.PwmFrequency() * m_hw.deadTime, 0.02);
}

void DriveCore::SetFault(Fault fault)
{
    m_fault = fault;
    m_plant.SetFault(fault);
    m_sensors.SetFault(fault);
}

bool DriveCore::PowerOn()
{
    if (m_fault == Fault::EnableOff) return false;
    if (m_fault == Fault::ShortCircuit) {
        LatchMer(kMerShortCircuit);
        return false;
    }
    m_on = true;
    m_plant.SetPowerStage(true);
    return true;
}

void DriveCore::PowerOff()
{
    m_on = false;
    m_plant.SetPowerStage(false);
    vd = vq = 0;
}

void DriveCore::TrackShaft()
{
    m_sensors.TrackEncoder(m_plant.MechanicalAngle());
    apos = m_sensors.EncoderCount();
}

void DriveCore::Idle(std::int64_t periods)
{
    m_periods += periods;
    m_slowPhase = static_cast<int>((m_slowPhase + periods) % m_slowRatio);
}

void DriveCore::Rest(std::int64_t periods)
{
    if (periods <= 0) return;
    TrackShaft();
    if (hallCommutation) hall = HallInputs();
    ia = ib = id = iq = 0;
    // The slow samples among them: the first sees what moved since the last one, any later one 0.
    const std::int64_t first = m_slowPhase == 0 ? 0 : m_slowRatio - m_slowPhase;
    if (first < periods) {
        const std::int64_t samples = 1 + (periods - 1 - first) / m_slowRatio;
        speed = samples == 1 ? apos - m_lastSlowPosition : 0;
        m_lastSlowPosition = apos;
    }
    if (!encoderFrame)  // modulo 2^16, as the period-by-period sum wraps
        testAngle = static_cast<std::uint16_t>(testAngle + static_cast<std::uint64_t>(angleStep) * static_cast<std::uint64_t>(periods));
    m_plant.Rest(periods, m_ts);
    Idle(periods);
}

void DriveCore::ResetLoops()
{
    m_currentLoop.Reset();
    m_speedLoop.Reset();
    m_positionLoop.Reset();
    m_lastSlowPosition = apos;
    m_lastSpeedReference = speedReference;
    m_lastPositionReference = positionReference;
    m_positionErrorTime = m_speedErrorTime = 0;
    tripped = false;
}

std::uint16_t DriveCore::DriveAngle() const
{
    if (!encoderFrame) return testAngle;
    const std::uint32_t turns = static_cast<std::uint32_t>(apos - m_encoderOffset) * m_regs.enc2thl;
    return static_cast<std::uint16_t>(turns >> 16);
}

void DriveCore::AlignEncoder(std::uint16_t angle)
{
    // Offset such that (apos - offset) * ENC2THL lands on `angle`.
    const std::uint32_t k = m_regs.enc2thl;
    m_encoderOffset = apos;
    if (k == 0) return;
    const double countsPerTurn = 4294967296.0 / k;
    m_encoderOffset = apos - static_cast<std::int64_t>(std::llround(angle / 65536.0 * countsPerTurn));
}

std::uint16_t DriveCore::Mer() const
{
    std::uint16_t mer = m_mer;
    if (m_fault == Fault::EnableOff) mer |= kMerEnable;
    if (m_fault == Fault::LimitPositive) mer |= kMerPositiveLimit;
    if (m_fault == Fault::LimitNegative) mer |= kMerNegativeLimit;
    return mer;
}

void DriveCore::Sense()
{
    TrackShaft();
    if (hallCommutation) hall = m_sensors.Hall(m_plant.ElectricalAngle());
    if (SlowSample()) {
        speed = apos - m_lastSlowPosition;
        m_lastSlowPosition = apos;
    }
    if (!m_on) {
        ia = ib = id = iq = 0;
        return;
    }
    m_sensors.MeasureCurrents(m_plant.InverterCurrents(), ia, ib);
    const std::uint16_t angle = DriveAngle();
    const std::int64_t alpha = ia;
    const std::int64_t beta = ((std::int64_t{ia} + 2 * std::int64_t{ib}) * kInvSqrt3Q15) >> 15;
    const std::int64_t s = Sin16(angle), c = Cos16(angle);
    id = fx::Sat16((alpha * c + beta * s) >> 15);
    iq = fx::Sat16((beta * c - alpha * s) >> 15);
    if (currentTrip > 0) {
        const std::int32_t ic = -(ia + ib);
        if (std::abs(ia) > currentTrip || std::abs(ib) > currentTrip || std::abs(ic) > currentTrip) {
            tripped = true;
            PowerOff();
        }
    }
    if (hallCommutation && (hall == 0 || hall == 7)) {
        LatchMer(kMerHallMissing);
        PowerOff();
    }
}

void DriveCore::Control()
{
    const bool slow = SlowSample();
    const bool throughSpeed = servo == Servo::Speed || (servo == Servo::Position && m_regs.positionOutputsSpeed);
    if (servo == Servo::Position && slow) {
        if (profileTarget == ProfileTarget::Position) positionReference = profile.Step();
        const std::int64_t error = positionReference - apos;
        const std::int32_t out = m_positionLoop.Step(error, m_regs);
        const std::int64_t referenceSpeed = positionReference - m_lastPositionReference;
        m_lastPositionReference = positionReference;
        if (m_regs.positionOutputsSpeed) speedReference = out + m_regs.kffs.Apply(referenceSpeed);
        else iqReference = out;
        if (m_regs.terrmax != 65535 && std::abs(error) > m_regs.errmax) {
            if (++m_positionErrorTime > m_regs.terrmax) LatchMer(kMerControlError);
        } else {
            m_positionErrorTime = 0;
        }
    }
    if (throughSpeed && slow) {
        if (profileTarget == ProfileTarget::Speed) speedReference = profile.Step();
        const std::int64_t error = speedReference - speed;
        const std::int32_t limit = 32767 - m_regs.sats;
        std::int64_t out = m_speedLoop.Step(error, m_regs.kps, m_regs.kis, 32767 - m_regs.imaxs, limit);
        const std::int64_t acceleration = speedReference - m_lastSpeedReference;
        m_lastSpeedReference = speedReference;
        out += fx::MulGain(acceleration, m_regs.kffa, std::min(30, m_regs.sftaffw + m_regs.sftkff));
        iqReference = static_cast<std::int32_t>(fx::Clamp(out, limit));
        if (m_regs.tserrmax != 65535 && std::abs(error) > m_regs.serrmax) {
            if (++m_speedErrorTime > m_regs.tserrmax) LatchMer(kMerControlError);
        } else {
            m_speedErrorTime = 0;
        }
    }
    if ((Mer() & kMerControlError) != 0) {
        PowerOff();
        return;
    }
    if (servo == Servo::Voltage) {
        vd = fx::Sat16(vdCommand);
        vq = fx::Sat16(vqCommand);
        const double square = static_cast<double>(vd) * vd + static_cast<double>(vq) * vq;
        if (square > 32767.0 * 32767.0) {
            const double magnitude = std::sqrt(square);
            vd = static_cast<std::int32_t>(vd * 32767 / magnitude);
            vq = static_cast<std::int32_t>(vq * 32767 / magnitude);
        }
    } else {
        m_currentLoop.Step(idReference, iqReference, id, iq, m_regs, vd, vq);
    }
    // A turning test frame's voltage is held for a whole period: it is put half a step ahead so
    // that on average it lies where the frame is.
    const std::uint16_t angle = encoderFrame ? DriveAngle() : static_cast<std::uint16_t>(testAngle + angleStep / 2);
    const std::int64_t s = Sin16(angle), c = Cos16(angle);
    const double k = m_voltsPerUnit;
    m_plant.SetVoltage((vd * c - vq * s) * k, (vd * s + vq * c) * k);
}

bool DriveCore::Act()
{
    if (m_on) Control();
    const bool ok = m_plant.Advance(m_ts);
    if (!encoderFrame) testAngle = static_cast<std::uint16_t>(testAngle + angleStep);
    ++m_periods;
    if (++m_slowPhase >= m_slowRatio) m_slowPhase = 0;
    if (!ok) {
        LatchMer(kMerShortCircuit);
        PowerOff();
        return false;
    }
    // The power stage's own over-current protection: beyond the converter's range. No phase
    // carries more than the current vector's amplitude, which is cheaper to look at first.
    if (m_on && m_plant.CurrentSquared() > m_hw.imaxPS * m_hw.imaxPS) {
        const PhaseCurrents i = m_plant.InverterCurrents();
        if (std::fabs(i.a) > m_hw.imaxPS || std::fabs(i.b) > m_hw.imaxPS || std::fabs(i.c) > m_hw.imaxPS) {
            LatchMer(kMerShortCircuit);
            PowerOff();
        }
    }
    return true;
}

bool DriveCore::Resolve(std::string_view name, Probe& probe) const
{
    for (const auto& [n, q] : kNames)
        if (n == name) {
            probe = Probe{q, {}};
            return true;
        }
    const auto it = m_published.find(name);
    if (it == m_published.end()) return false;
    probe = Probe{-1, &it->second};
    return true;
}

double& DriveCore::Published(std::string_view name)
{
    auto it = m_published.find(name);
    if (it == m_published.end()) it = m_published.emplace(std::string(name), 0.0).first;
    return it->second;
}

bool DriveCore::Read(std::string_view name, double& value) const
{
    Probe probe;
    if (!Resolve(name, probe)) return false;
    value = Value(probe);
    return true;
}

bool DriveCore::Write(const std::string& name, double value)
{
    if (name == "MER") {
        m_mer = static_cast<std::uint16_t>(TruncToUInt32(value) & 0xFFFFu);
        return true;
    }
    Probe probe;
    if (Resolve(name, probe) && probe.quantity >= 0) return false;  // a measurement
    Published(name) = value;
    return true;
}

double DriveCore::Quantity(int quantity) const
{
    switch (quantity) {
    case kMer: return Mer();
    case kIq: return iq;
    case kId: return id;
    case kIa: return ia;
    case kIb: return ib;
    case kUq: return vq;
    case kUd: return vd;
    case kApos: return static_cast<double>(apos);
    case kAspd: return static_cast<double>(speed);
    case kHall: return HallInputs();
    case kAd5: return m_sensors.MeasureAnalogue(analogueVolts);
    case kCappos: return static_cast<double>(m_sensors.CapturedCount());
    case kThtst: return static_cast<std::int16_t>(testAngle);
    case kSpdRef: return static_cast<double>(speedReference);
    case kIqRef: return iqReference;
    case kPosRef: return static_cast<double>(positionReference);
    case kPosErr: return static_cast<double>(positionReference - apos);
    case kSpdErr: return static_cast<double>(speedReference - speed);
    }
    return 0.0;
}

}  // namespace drivesim
