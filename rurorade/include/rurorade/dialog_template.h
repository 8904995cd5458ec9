#pragma once
// Dialog templates as data: the controls of a dialog with their kinds, texts and groups.
#include <string>
#include <vector>

namespace rurorade {

enum class ControlKind { Static, Group, Edit, Button, Check, Radio, Combo, Slider, Image };

const char* ControlKindName(ControlKind kind);

struct ControlTemplate {
    int id;
    ControlKind kind;
    std::string text;
    std::string group;  // text of the group box the control sits in ("" for none)
};

struct DialogTemplate {
    int id;
    std::string title;
    std::vector<ControlTemplate> controls;
};

// Templates are registered by the module that owns them (its resources).
void RegisterDialogTemplate(const DialogTemplate& dialogTemplate);
const DialogTemplate* FindDialogTemplate(int id);

// Control ids the host adds to every setup dialog.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDHELP = 9;  // the Help button of a message box (MB_HELP)
constexpr int kGuideTextId = 9000;      // "Guideline assistant" edit box
constexpr int kGuidePreviousId = 9001;  // "Previous"
constexpr int kGuideNextId = 9002;      // "Next"
constexpr int kCanBaudRateId = 10021;   // "CANbus" group: baud rate list
constexpr int kCanOpenSettingsId = 10022;

}  // namespace rurorade
