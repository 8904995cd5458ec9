// Template 3072, "Filters": three identical filter groups.
#include <string>

#include "editor/filters_dlg.h"
#include "resources/templates.h"

rurorade::DialogTemplate FiltersTemplate()
{
    using rurorade::ControlKind;
    constexpr ControlKind S = ControlKind::Static, G = ControlKind::Group, E = ControlKind::Edit,
                          C = ControlKind::Check, L = ControlKind::Combo;
    rurorade::DialogTemplate t{filters::kTemplateId, "Filters", {}};
    const char* const groups[3] = {"Filter 1", "Filter 2", "Filter 3"};
    for (int n = 0; n < 3; ++n) {
        const filters::FilterControls& c = filters::kFilter[n];
        const std::string g = groups[n];
        t.controls.insert(t.controls.end(), {
            {c.group, G, g, ""},
            {c.toggle, C, "On", g},  // push-like; the dialog sets "On" or "Off"
            {c.locationLabel, S, "Location", g}, {c.location, L, "", g},
            {c.typeLabel, S, "Type", g}, {c.type, L, "", g},
            {c.qLabel, S, "Q", g}, {c.q, E, "", g},
            {c.frequencyLabel, S, "Frequency", g}, {c.frequency, E, "", g}, {c.frequencyUnit, L, "", g},
            {c.lag, E, "", g}, {c.lagUnit, L, "", g},
        });
    }
    t.controls.push_back({rurorade::IDOK, ControlKind::Button, "OK", ""});
    t.controls.push_back({rurorade::IDCANCEL, ControlKind::Button, "Cancel", ""});
    return t;
}
