#include "rurorade/dialog_template.h"

#include <map>

namespace rurorade {
namespace {
std::map<int, DialogTemplate>& Registry()
{
    static std::map<int, DialogTemplate> templates;
    return templates;
}
}  // namespace

const char* ControlKindName(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Static: return "static";
    case ControlKind::Group: return "group";
    case ControlKind::Edit: return "edit";
    case ControlKind::Button: return "button";
    case ControlKind::Check: return "check";
    case ControlKind::Radio: return "radio";
    case ControlKind::Combo: return "combo";
    case ControlKind::Slider: return "slider";
    case ControlKind::Image: return "image";
    }
    return "?";
}

void RegisterDialogTemplate(const DialogTemplate& dialogTemplate) { Registry()[dialogTemplate.id] = dialogTemplate; }

const DialogTemplate* FindDialogTemplate(int id)
{
    auto it = Registry().find(id);
    return it == Registry().end() ? nullptr : &it->second;
}

}  // namespace rurorade
