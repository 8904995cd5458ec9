#include "editor/filters_dlg.h"
