#pragma once
// A bar that shows a value between two limits, drawn from a reference value towards the value.
// Headless it holds what a front end paints: range, value, reference, colours and a repaint count.
#include <cstdint>

class CMC_EditSetupDlg;

namespace rurorade {

class CBarGraph {
public:
    // Colours as 0xRRGGBB.
    static constexpr std::uint32_t kDefaultBarColour = 0x0000C0;
    static constexpr std::uint32_t kDefaultBackgroundColour = 0xFFFFFF;

    // Draws onto control `id` of `parent`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* parent);
    int ControlId() const { return m_controlId; }

    // The limits; the reference moves to where a bar over this range is drawn from by default.
    void SetRange(double min, double max);
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    void SetValue(double value) { m_value = value; }
    double Value() const { return m_value; }
    void SetReference(double reference) { m_reference = reference; }
    double Reference() const { return m_reference; }
    // 0 when the range holds 0, else its lower limit.
    static double DefaultReference(double min, double max) { return min <= 0 && max >= 0 ? 0.0 : min; }

    void SetColours(std::uint32_t bar, std::uint32_t background) { m_bar = bar, m_background = background; }
    std::uint32_t BarColour() const { return m_bar; }
    std::uint32_t BackgroundColour() const { return m_background; }

    // The painted bar as shares of the range (0 at Min, 1 at Max), from the reference to the
    // value, both clipped to the range; an empty bar for an empty range or a value that is no number.
    double StartShare() const { return Share(m_reference); }
    double EndShare() const;

    void Repaint() { ++repaints; }
    int repaints = 0;

private:
    double Share(double x) const;

    int m_controlId = 0;
    double m_min = 0, m_max = 1, m_value = 0, m_reference = 0;
    std::uint32_t m_bar = kDefaultBarColour, m_background = kDefaultBackgroundColour;
};

}  // namespace rurorade
