#pragma once
// The Hall diagram of the connection and detection tests: an electrical turn cut into six slices,
// one per Hall sector, each not visited, visited or current. State only; a front end draws it.
#include <array>

class CMC_EditSetupDlg;

class CHallDiagram {
public:
    static constexpr int kSlices = 6;
    enum SliceState { NotVisited = 0, Visited = 1, Current = 2 };

    // Draws onto control `id` of `parent`; 0 when the dialog has no such control.
    int SubclassDlgItem(int id, CMC_EditSetupDlg* parent);
    int ControlId() const { return m_controlId; }
    void EnableWindow(bool enable) { m_enabled = enable; }
    bool IsWindowEnabled() const { return m_enabled; }

    // Every slice back to NotVisited.
    void ResetSlices();
    // Slices outside 0..5 and states outside 0..2 are ignored.
    void SetSliceState(int slice, int state);
    // NotVisited for a slice outside 0..5.
    int GetSliceState(int slice) const;
    // Every Current slice becomes Visited.
    void DemoteCurrentSlices();
    const std::array<int, kSlices>& SliceStates() const { return m_states; }

    // A repaint request; headless it is only counted.
    void Invalidate() { ++repaints; }
    int repaints = 0;

private:
    std::array<int, kSlices> m_states{};
    int m_controlId = 0;
    bool m_enabled = true;
};
