#pragma once
// The phase diagram of the Hall and encoder tests: a pointer at the rotor's electrical angle on
// a circle. Headless, like the host's other widgets: it keeps what a front end draws.
class CMC_EditSetupDlg;

class CPhaseDiagram {
public:
    // Draws onto control `id` of `parent`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* parent);
    int ControlId() const { return m_controlId; }

    // A disabled diagram is drawn greyed; the control it sits on follows.
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const { return m_enabled; }

    // Electrical angle in radians, kept as given; a value that is not finite is ignored.
    void SetAngle(double radians);
    double GetAngle() const { return m_angle; }
    // The angle where the pointer is drawn, in [0, 2 pi).
    double DrawnAngle() const;

    void Invalidate() { ++repaints; }
    int repaints = 0;

private:
    CMC_EditSetupDlg* m_parent = nullptr;
    int m_controlId = 0;
    bool m_enabled = true;
    double m_angle = 0.0;
};
