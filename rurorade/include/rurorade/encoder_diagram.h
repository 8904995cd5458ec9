#pragma once
// The encoder diagram of the connection and detection tests: a disc showing where the encoder
// says the shaft is. State only; a front end draws it.

class CMC_EditSetupDlg;

class CEncoderDiagram {
public:
    // Draws onto control `id` of `parent`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* parent);
    int ControlId() const { return m_controlId; }
    void EnableWindow(bool enable) { m_enabled = enable; }
    bool IsWindowEnabled() const { return m_enabled; }

    // Shaft angle in radians, not wrapped (a front end draws it modulo one turn); asks for a repaint.
    void SetAngle(double radians);
    double GetAngle() const { return m_angle; }

    // A repaint request; headless it is only counted.
    void Invalidate() { ++repaints; }
    int repaints = 0;

private:
    double m_angle = 0.0;
    int m_controlId = 0;
    bool m_enabled = true;
};
