#include "editor/analog_reference_dlg.h"
